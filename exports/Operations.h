// The operations that the export frames hand over to, each declared by the
// module that defines it.
#pragma once

#include "archive/CnfBakup.h"             // Talver_HddBacukupConfig
#include "archive/CnfCmpDlg.h"            // CompressDialog
#include "flows/BackupToMedia.h"          // Talver_BackupConfigToMedia
#include "flows/InstallByModel.h"         // Talver_OffSvpBackupByModel
#include "flows/RestoreFromBackupFile.h"  // RestoreConfigFromBackupFile
#include "flows/RestoreFromMedia.h"       // RestoreConfigFromMedia
#include "flows/SetupInSvp.h"             // SetupConfigInSvp
#include "flows/Unpack.h"                 // Talver_ConfigIsUncompressed
#include "flows/UpdateSecondSvp.h"        // UpdateConfigTo2ndSvp
#include "validate/CnfChkMedia.h"         // CheckConfigFileArchive
#include "validate/CnfProcess2.h"         // ReadConfig4Record, ReadConfig4File
