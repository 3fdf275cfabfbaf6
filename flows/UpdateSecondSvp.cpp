#include "flows/UpdateSecondSvp.h"

#include "archive/CnfCmpDlg.h"
#include "common/FlowLock.h"
#include "common/Format.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "svpsvc/SvpServices.h"

TALVER_SOURCE_AT("CnfProcess", 9000)

int UpdateConfigTo2ndSvp(WORD* resultWord) {
  FlowLock lock;
  if (!lock.Take()) {
    *resultWord = kWordStepFailed;
    return 0;
  }
  char archive[MAX_PATH];
  char target[MAX_PATH];
  if (!FORMAT_PATH(archive, "%s%s%s", dsvw_GetDkcRootDir(), "\\PLAXON\\HOME\\DIFF\\",
                   "svp_conf.tgz") ||
      !FORMAT_PATH(target, "%s%s", dsvw_GetDkcRootDir(), "\\PLAXON\\")) {
    *resultWord = kWordStepFailed;
    TRACE_TEXT("ERR CompressDialog");
    return 0;
  }
  // The archive stays in place whatever happens, so each further attempt
  // unpacks the same file again.
  if (!CompressDialog(0, 1, 0, archive, target)) {
    *resultWord = kWordStepFailed;
    TRACE_TEXT("ERR CompressDialog");
    return 0;
  }
  return 1;
}
