// The fetch of a configuration archive from media into a work folder: one
// archive copied, or a split archive joined volume by volume as the operator
// changes media. Setup, the restore from media and the installation by model
// use it.
#pragma once

#include "platform/WinTypes.h"
#include "validate/MediaSelection.h"

// 1 when the complete archive lies in the work folder as "svp_conf.tgz",
// else 0 (its own failure messages shown).
int FetchConfigArchive(HWND owner, const char* workDirectory, MediaSelection* selection,
                       WORD* resultWord);
