// The behaviour tests call the exports as a caller of talver.dll declares
// them (imported); the program holds its own copy of the system, so each
// import is answered here with the program's function.
#include "host/talver_host.h"
#include "include/talver.h"

#define TALVER_IMPORT(name) void* __imp_##name = reinterpret_cast<void*>(&name);

extern "C" {
TALVER_IMPORT(dsvp_TalverRancher)
TALVER_IMPORT(dsvp_TalverBackup)
TALVER_IMPORT(dsvp_TalverIsUncompressed)
TALVER_IMPORT(dsvCnf_ConfigIsUpdate)
TALVER_IMPORT(dsvCnf_ConfigIsHddBackup)
TALVER_IMPORT(dsvCnf_ConfigUpdateTo2ndSVP)
TALVER_IMPORT(dsvCnf_SetupConfigInSVP)
TALVER_IMPORT(dsvCnf_CheckConfigFile)
TALVER_IMPORT(dsvp_TalverIsCompressed)
TALVER_IMPORT(talver_ReadConfig4)
TALVER_IMPORT(dsvCnf_GetStrConfigType)
TALVER_IMPORT(_WEP_4)
TALVER_IMPORT(Talver_CloseMemoryMapFile)
TALVER_IMPORT(Talver_CreateMemoryMapFile)
TALVER_IMPORT(Talver_OpenMemoryMapFile)
TALVER_IMPORT(Talver_ReadMemoryMapFile)
TALVER_IMPORT(Talver_WriteMemoryMapFile)
TALVER_IMPORT(WEP)
TALVER_IMPORT(dsvCnf_OffSvpAllConf)
TALVER_IMPORT(dsvCnf_RestoreConf)
TALVER_IMPORT(dsvCnf_RestoreConf2)
TALVER_IMPORT(TalverHost_ExplainWord)
TALVER_IMPORT(TalverHost_GpfmConvert)
}
