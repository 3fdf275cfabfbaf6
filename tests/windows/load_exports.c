/*
 * A maintenance program's view of talver.dll: every export is found by its
 * ordinal and by its name (the same function both ways), and the exports
 * that need no operator answer on the SVP tree the script prepared (drive X:,
 * svpsvc.ini named by TALVER_SVPSVC_INI); the shared-memory exports behave
 * as tests/exports_test.cpp has them, run under Wine in win.behaviour.system:
 *
 *   load_exports.exe ARCHIVE TARGET_DIR\\
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static const struct {
  const char* name;
  int ordinal;
} kExports[] = {
    {"dsvp_TalverRancher", 100},        {"dsvp_TalverBackup", 101},
    {"dsvp_TalverIsUncompressed", 102}, {"dsvCnf_ConfigIsUpdate", 103},
    {"dsvCnf_ConfigIsHddBackup", 104},  {"dsvCnf_ConfigUpdateTo2ndSVP", 105},
    {"dsvCnf_SetupConfigInSVP", 106},   {"dsvCnf_CheckConfigFile", 107},
    {"dsvp_TalverIsCompressed", 108},   {"talver_ReadConfig4", 109},
    {"dsvCnf_GetStrConfigType", 110},   {"_WEP@4", 111},
    {"Talver_CloseMemoryMapFile", 112}, {"Talver_CreateMemoryMapFile", 113},
    {"Talver_OpenMemoryMapFile", 114},  {"Talver_ReadMemoryMapFile", 115},
    {"Talver_WriteMemoryMapFile", 116}, {"WEP", 117},
    {"dsvCnf_OffSvpAllConf", 120},      {"dsvCnf_RestoreConf", 130},
    {"dsvCnf_RestoreConf2", 140},
};

typedef int(__cdecl* NoArgs)(void);
typedef WORD(__stdcall* WepProc)(WORD);
typedef int(__cdecl* ConfigTypeProc)(char*, WORD*);
typedef int(__cdecl* ReadConfig4Proc)(const char*, BYTE*);
typedef int(__cdecl* UncompressProc)(HWND, const char*, const char*);
typedef int(__cdecl* CheckProc)(const char*, DWORD, WORD*);

static int failures = 0;
static int checks = 0;

static void Check(int ok, const char* what) {
  ++checks;
  if (!ok) ++failures;
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
}

/* void (*)(void) is the generic function pointer the casts go through. */
typedef void (*AnyProc)(void);
static AnyProc ByName(HMODULE dll, const char* name) { return (AnyProc)GetProcAddress(dll, name); }
static AnyProc ByOrdinal(HMODULE dll, int ordinal) {
  return (AnyProc)GetProcAddress(dll, MAKEINTRESOURCEA(ordinal));
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: load_exports ARCHIVE TARGET_DIR\n");
    return 2;
  }
  HMODULE dll = LoadLibraryA("talver.dll");
  Check(dll != NULL, "LoadLibrary(talver.dll)");
  if (!dll) return 1;

  char what[128];
  for (size_t i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
    AnyProc byName = ByName(dll, kExports[i].name);
    AnyProc byOrdinal = ByOrdinal(dll, kExports[i].ordinal);
    snprintf(what, sizeof what, "%s is ordinal %d", kExports[i].name, kExports[i].ordinal);
    Check(byName != NULL && byName == byOrdinal, what);
  }

  NoArgs isUpdate = (NoArgs)ByOrdinal(dll, 103);
  Check(isUpdate && isUpdate() == 1, "dsvCnf_ConfigIsUpdate by ordinal returns 1");
  NoArgs isCompressed = (NoArgs)ByName(dll, "dsvp_TalverIsCompressed");
  Check(isCompressed && isCompressed() == 1, "dsvp_TalverIsCompressed returns 1");
  WepProc wep = (WepProc)ByName(dll, "_WEP@4");
  Check(wep && wep(0) == 1, "_WEP@4 returns 1");

  char type[8] = "";
  WORD word = 0;
  ConfigTypeProc configType = (ConfigTypeProc)ByName(dll, "dsvCnf_GetStrConfigType");
  Check(configType && configType(type, &word) == 1 && strcmp(type, "8360") == 0,
        "dsvCnf_GetStrConfigType gives 8360");
  BYTE record[32];
  ReadConfig4Proc readConfig4 = (ReadConfig4Proc)ByOrdinal(dll, 109);
  Check(readConfig4 && readConfig4("X:\\PLAXON\\CONFIG\\config4", record) != 0 &&
            record[10] == 0x60 && record[11] == 0x83,
        "talver_ReadConfig4 reads the config4 record");

  /* An archive unpacked under the real progress dialog. */
  UncompressProc uncompress = (UncompressProc)ByName(dll, "dsvp_TalverIsUncompressed");
  Check(uncompress && uncompress(NULL, argv[1], argv[2]) == 1,
        "dsvp_TalverIsUncompressed unpacks the archive");
  char unpacked[MAX_PATH];
  snprintf(unpacked, sizeof unpacked, "%sCONFIG\\DKCPRP.DAT", argv[2]);
  Check(GetFileAttributesA(unpacked) != INVALID_FILE_ATTRIBUTES,
        "the unpacked tree has DKCPRP.DAT");
  CheckProc checkFile = (CheckProc)ByName(dll, "dsvCnf_CheckConfigFile");
  word = 0;
  Check(checkFile && checkFile(argv[1], 0x01, &word) == 1, "dsvCnf_CheckConfigFile accepts it");

  /* HDD backups: silent, then under the archiver's own progress dialog
   * (a template it builds in memory); one second apart, as a backup is
   * named by its second. */
  typedef int(__cdecl * HddBackupProc)(HWND, DWORD, WORD*);
  HddBackupProc hddBackup = (HddBackupProc)ByName(dll, "dsvCnf_ConfigIsHddBackup");
  for (DWORD mode = 0; mode <= 2; mode += 2) {
    word = 0;
    snprintf(what, sizeof what, "dsvCnf_ConfigIsHddBackup in mode %lu", (unsigned long)mode);
    Check(hddBackup && hddBackup(NULL, mode, &word) == 1, what);
    Sleep(1100);
  }
  Check(GetFileAttributesA("X:\\PLAXON\\DIFF\\svp_conf.tgz") != INVALID_FILE_ATTRIBUTES,
        "the HDD backup leaves its DIFF copy");

  FreeLibrary(dll);
  printf("load_exports: %d checks, %d failed\n", checks, failures);
  return failures ? 1 : 0;
}
