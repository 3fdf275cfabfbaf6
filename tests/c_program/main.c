/*
 * A C program that uses the installed library: loads the world named by
 * TALVER_WORLD, calls dsvp_TalverIsCompressed and dsvCnf_GetStrConfigType and
 * passes a few bytes through a shared-memory section (argv[1] names it).
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

static void round_trip(const char* name) {
  static const char sent[] = "bytes from C";
  char back[sizeof sent];
  talver_dword error = 99;
  void* section;

  check(Talver_OpenMemoryMapFile(name) == 1, "open before create: 1");
  section = Talver_CreateMemoryMapFile(name, &error);
  check(section != NULL && error == 0, "create: a handle, error 0");
  check(Talver_CreateMemoryMapFile(name, &error) == NULL && error == 1,
        "second create: null, error 1");
  check(Talver_OpenMemoryMapFile(name) == 0, "open after create: 0");
  check(Talver_WriteMemoryMapFile(name, sent, sizeof sent, &error) == 1 && error == 0, "write");
  memset(back, 0, sizeof back);
  check(Talver_ReadMemoryMapFile(name, back, sizeof back, &error) == 1 && error == 0 &&
            memcmp(back, sent, sizeof sent) == 0,
        "read gives the bytes written");
  check(section != NULL && Talver_CloseMemoryMapFile(section) != 0, "close");
  check(Talver_OpenMemoryMapFile(name) == 1, "open after close: 1");
}

int main(int argc, char** argv) {
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
  round_trip(argc > 1 ? argv[1] : "c-program");
  return failures == 0 ? 0 : 1;
}
