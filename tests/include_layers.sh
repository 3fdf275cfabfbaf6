#!/usr/bin/env bash
# Every quoted include goes down the layers of docs/architecture.md: a folder
# may include its own files and those of the folders listed beside it. The
# build's include farms make most upward includes fail to compile; this check
# also covers relative paths, the tool and the stand-ins.
set -uo pipefail
cd "$(dirname "$0")/.."

# folder: the include paths (prefixes) it may use besides its own folder.
rules=(
  "platform: platform/WinTypes.h platform/Platform.h platform/Temporary.h platform/PlatformInternal.h platform/Stream.h platform/DialogTemplate.h platform/ForwardingPlatform.h platform/Win.h platform/winemu/WinApi.h"
  "platform/posix: platform/ platform/posix/"
  "platform/win32: platform/ platform/win32/"
  "platform/winemu: platform/"
  "platform/testing: platform/ForwardingPlatform.h platform/Platform.h platform/WinTypes.h"
  "svpsvc: platform/"
  "tar32: SYSTEM_PLATFORM platform/winemu/"
  "resources: SYSTEM_PLATFORM"
  "common: SYSTEM_PLATFORM svpsvc/SvpServices.h"
  "backupfile: common/ archive/ validate/ resources/ svpsvc/ tar32/Tar32.h SYSTEM_PLATFORM"
  "archive: common/ backupfile/ validate/ resources/ svpsvc/ tar32/Tar32.h SYSTEM_PLATFORM"
  "validate: common/ backupfile/ archive/ resources/ svpsvc/ tar32/Tar32.h SYSTEM_PLATFORM"
  "media: common/ backupfile/ archive/ validate/ resources/ svpsvc/ tar32/Tar32.h SYSTEM_PLATFORM"
  "flows: media/ common/ backupfile/ archive/ validate/ resources/ svpsvc/ tar32/Tar32.h SYSTEM_PLATFORM"
  "exports: flows/ media/ common/ backupfile/ archive/ validate/ resources/ svpsvc/ tar32/Tar32.h include/ SYSTEM_PLATFORM"
  "host: exports/ flows/ media/ common/ backupfile/ archive/ validate/ resources/ svpsvc/ tar32/ include/ platform/"
  "tool: host/ include/ exports/Exports.h platform/WinTypes.h platform/winemu/Operator.h backupfile/GpfmFormat.h"
)
# The platform interface as the system's code sees it: never the POSIX half
# or the testing half.
system_platform="platform/WinTypes.h platform/Platform.h platform/Temporary.h platform/Stream.h platform/Win.h platform/DialogTemplate.h platform/ScopedFind.h"

status=0
checked=0
for rule in "${rules[@]}"; do
  folder=${rule%%:*}
  allowed=${rule#*:}
  allowed=${allowed//SYSTEM_PLATFORM/$system_platform}
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      path=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$line")
      checked=$((checked + 1))
      # A file of the same folder, by its bare name or its full path.
      if [[ $path != */* && -e "$folder/$path" ]] || [[ $path == "$folder/"* && $path != "$folder/"*/* ]]; then
        continue
      fi
      ok=0
      for prefix in $allowed; do
        if [[ $path == "$prefix"* ]]; then ok=1; break; fi
      done
      if [ $ok -eq 0 ]; then
        echo "include_layers: $file includes \"$path\", which its layer may not use"
        status=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file")
  done
done
echo "include_layers: $checked includes checked"
exit $status
