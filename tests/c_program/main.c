/*
 * A C program that uses the installed library: loads the world named by
 * TALVER_WORLD and calls dsvp_TalverIsCompressed and dsvCnf_GetStrConfigType.
 * Prints what it saw; exits 0 when every call gave the expected result.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <talver.h>

static int failures = 0;

static void check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

int main(void) {
  const char* world = getenv("TALVER_WORLD");
  char error[512];
  char type[16];
  talver_word word = 0;
  int result;

  /* A null path takes $TALVER_WORLD, as svpconf does. */
  if (world == NULL || !TalverHost_LoadWorld(NULL, error, sizeof error)) {
    fprintf(stderr, "no world: %s\n", world == NULL ? "TALVER_WORLD is not set" : error);
    return 2;
  }
  printf("version=%s\n", TalverHost_Version());
  check(dsvp_TalverIsCompressed() == 1, "dsvp_TalverIsCompressed: 1");
  memset(type, 0, sizeof type);
  result = dsvCnf_GetStrConfigType(type, &word);
  printf("config-type=%s result=%d word=0x%04X\n", type, result, (unsigned)word);
  check(result == 1 && word == 0, "dsvCnf_GetStrConfigType: 1, word untouched");
  return failures == 0 ? 0 : 1;
}
