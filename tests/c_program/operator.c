/*
 * A C program that chooses who answers the library's questions. Loads the
 * world named by TALVER_WORLD, then, by its first argument:
 *
 *   call EXPORT...     calls each export named with nobody to answer: every
 *                      question is refused; prints "EXPORT result=R word=0xW"
 *   backup             backs the configuration up to the media of drive A,
 *                      its questions answered beforehand (TalverHost_SetAnswer)
 *   setup SOURCE TREE  sets the configuration up in TREE from the backup on
 *                      the media of drive A, its questions answered by an
 *                      asker (TalverHost_SetAsker) from a small table; prints
 *                      what it was asked
 *
 * Exits 0 when the program ran (the results are for the caller to judge), 2
 * when it could not.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <talver.h>

static const char* const kSection = "c-operator";

/* Calls one export by its name; 0 when no export has that name. */
static int call_export(const char* name, int* result, talver_word* word) {
  talver_byte record[32];
  talver_dword error = 0;
  talver_word kind = 0;
  char text[16] = {0};
  char bytes[8] = "C bytes";
  void* section;

  *word = 0;
  if (strcmp(name, "dsvp_TalverRancher") == 0)
    *result = dsvp_TalverRancher(0);
  else if (strcmp(name, "dsvp_TalverBackup") == 0)
    *result = dsvp_TalverBackup(0);
  else if (strcmp(name, "dsvp_TalverIsUncompressed") == 0)
    *result = dsvp_TalverIsUncompressed(0, "C:\\PLAXON\\TMP\\svp_conf.tgz", "C:\\PLAXON\\TMP\\");
  else if (strcmp(name, "dsvCnf_ConfigIsUpdate") == 0)
    *result = dsvCnf_ConfigIsUpdate();
  else if (strcmp(name, "dsvCnf_ConfigIsHddBackup") == 0)
    *result = dsvCnf_ConfigIsHddBackup(0, 2, word);
  else if (strcmp(name, "dsvCnf_ConfigUpdateTo2ndSVP") == 0) {
    dsvCnf_ConfigUpdateTo2ndSVP();
    *result = 1;
  } else if (strcmp(name, "dsvCnf_SetupConfigInSVP") == 0)
    *result = dsvCnf_SetupConfigInSVP(0, "D:\\", "C:\\");
  else if (strcmp(name, "dsvCnf_CheckConfigFile") == 0)
    *result = dsvCnf_CheckConfigFile("A:\\PLAXON\\CONFIG\\412345\\svp_conf.tgz", 0x1F, word);
  else if (strcmp(name, "dsvp_TalverIsCompressed") == 0)
    *result = dsvp_TalverIsCompressed();
  else if (strcmp(name, "talver_ReadConfig4") == 0)
    *result = talver_ReadConfig4("C:\\PLAXON\\CONFIG\\config4", record);
  else if (strcmp(name, "dsvCnf_GetStrConfigType") == 0)
    *result = dsvCnf_GetStrConfigType(text, word);
  else if (strcmp(name, "_WEP_4") == 0)
    *result = _WEP_4(0);
  else if (strcmp(name, "Talver_CloseMemoryMapFile") == 0) {
    section = Talver_CreateMemoryMapFile(kSection, &error);
    *result = section != NULL && Talver_CloseMemoryMapFile(section) != 0;
  } else if (strcmp(name, "Talver_CreateMemoryMapFile") == 0) {
    section = Talver_CreateMemoryMapFile(kSection, &error);
    *result = section != NULL;
    if (section != NULL) Talver_CloseMemoryMapFile(section);
  } else if (strcmp(name, "Talver_OpenMemoryMapFile") == 0)
    *result = Talver_OpenMemoryMapFile(kSection);
  else if (strcmp(name, "Talver_ReadMemoryMapFile") == 0)
    *result = Talver_ReadMemoryMapFile(kSection, bytes, sizeof bytes, &error);
  else if (strcmp(name, "Talver_WriteMemoryMapFile") == 0)
    *result = Talver_WriteMemoryMapFile(kSection, bytes, sizeof bytes, &error);
  else if (strcmp(name, "WEP") == 0)
    *result = WEP(0);
  else if (strcmp(name, "dsvCnf_OffSvpAllConf") == 0)
    *result = dsvCnf_OffSvpAllConf(0, 1, 0);
  else if (strcmp(name, "dsvCnf_RestoreConf") == 0)
    *result = dsvCnf_RestoreConf(0, &kind, word);
  else if (strcmp(name, "dsvCnf_RestoreConf2") == 0)
    *result = dsvCnf_RestoreConf2(0, word);
  else
    return 0;
  return 1;
}

/* The asker's table: the answer to each question, by the answer's name. */
struct table_answer {
  const char* name;
  const char* value;
};
static const struct table_answer kSetupAnswers[] = {
    {"setup-source", "backup"},
    {"drive", "A"},
    {"backup", "412345"},
    {"3836", "ok"},
};

static int ask_from_table(const talver_question* q, char* answer, size_t answerSize,
                          void* context) {
  size_t i;
  int* asked = (int*)context;
  ++*asked;
  for (i = 0; i < sizeof kSetupAnswers / sizeof kSetupAnswers[0]; ++i) {
    if (strcmp(q->name, kSetupAnswers[i].name) != 0) continue;
    printf("asked %s %d (%s) [%s]: %s\n", q->isDialog ? "dialog" : "message", q->id, q->name,
           q->choices, kSetupAnswers[i].value);
    snprintf(answer, answerSize, "%s", kSetupAnswers[i].value);
    return 1;
  }
  printf("asked %s %d (%s) [%s]: refused\n", q->isDialog ? "dialog" : "message", q->id, q->name,
         q->choices);
  return 0;
}

static int answer(const char* name, const char* value) {
  char error[256];
  if (TalverHost_SetAnswer(name, value, error, sizeof error)) return 1;
  fprintf(stderr, "answer %s=%s not taken: %s\n", name, value, error);
  return 0;
}

int main(int argc, char** argv) {
  const char* world = getenv("TALVER_WORLD");
  char error[512];
  talver_word word = 0;
  int result = 0, i, asked = 0;

  if (world == NULL || !TalverHost_LoadWorld(world, error, sizeof error)) {
    fprintf(stderr, "no world: %s\n", world == NULL ? "TALVER_WORLD is not set" : error);
    return 2;
  }
  if (argc >= 2 && strcmp(argv[1], "call") == 0) {
    for (i = 2; i < argc; ++i) {
      if (!call_export(argv[i], &result, &word)) {
        fprintf(stderr, "no export is named %s\n", argv[i]);
        return 2;
      }
      printf("%s result=%d word=0x%04X\n", argv[i], result, (unsigned)word);
    }
  } else if (argc == 2 && strcmp(argv[1], "backup") == 0) {
    /* The split question answered Yes, each next medium with OK. */
    if (!answer("drive", "A:") || !answer("4034", "yes") || !answer("4036", "ok")) return 2;
    printf("dsvp_TalverBackup result=%d\n", dsvp_TalverBackup(0));
  } else if (argc == 4 && strcmp(argv[1], "setup") == 0) {
    TalverHost_SetAsker(ask_from_table, &asked);
    printf("dsvCnf_SetupConfigInSVP result=%d\n", dsvCnf_SetupConfigInSVP(0, argv[2], argv[3]));
    printf("questions=%d\n", asked);
  } else {
    fprintf(stderr, "usage: %s call EXPORT... | backup | setup SOURCE TREE\n", argv[0]);
    return 2;
  }
  if (TalverHost_Refused(error, sizeof error) > 0) printf("refused: %s\n", error);
  return 0;
}
