#!/usr/bin/env bash
# Every quoted include goes down the layers of docs/architecture.md: a folder
# may include its own files and those of the folders listed beside it. The
# build's include farms make most upward includes fail to compile; this check
# also covers relative paths (resolved as the compiler does, ".." included),
# the tool and the stand-ins, fails on a source folder it has no rule for,
# and on a POSIX header in the system's code, the stand-ins or the emulation.
set -uo pipefail
cd "$(dirname "$0")/.."

# folder: the include paths (prefixes) it may use besides its own folder.
# PLATFORM is the interface (the headers at the top of platform/), SYSTEM the
# part of it the system's code sees.
rules=(
  "platform: PLATFORM platform/winemu/WinApi.h"
  "platform/posix: platform/ platform/posix/"
  "platform/win32: PLATFORM platform/win32/"
  "platform/winemu: PLATFORM"
  "platform/testing: platform/ForwardingPlatform.h platform/Platform.h platform/WinTypes.h"
  "svpsvc: PLATFORM platform/winemu/Operator.h"
  "tar32: SYSTEM platform/winemu/"
  "include:"
  "resources: SYSTEM"
  "common: resources/ SYSTEM svpsvc/SvpServices.h"
  "backupfile: common/ resources/ svpsvc/ tar32/Tar32.h SYSTEM"
  "archive: backupfile/ common/ resources/ svpsvc/ tar32/Tar32.h SYSTEM"
  "validate: archive/ backupfile/ common/ resources/ svpsvc/ tar32/Tar32.h SYSTEM"
  "media: validate/ archive/ backupfile/ common/ resources/ svpsvc/ tar32/Tar32.h SYSTEM"
  "flows: media/ validate/ archive/ backupfile/ common/ resources/ svpsvc/ tar32/Tar32.h SYSTEM"
  "exports: flows/ media/ validate/ archive/ backupfile/ common/ resources/ svpsvc/ tar32/Tar32.h include/ SYSTEM"
  "host: exports/ flows/ media/ common/ backupfile/ archive/ validate/ resources/ svpsvc/ tar32/ include/ platform/"
  "tool: host/ include/ exports/Exports.h common/ResultWords.h platform/WinTypes.h platform/winemu/Operator.h backupfile/GpfmFormat.h backupfile/CnfCmpThd2.h"
)
# Host programs of their own, which may include any layer.
free_folders=" tests tests/support tests/windows tests/c_program bench fuzz cmake/windows "
# Folders whose code reaches the host only through the platform interface.
no_posix=" platform platform/winemu svpsvc resources common backupfile archive validate media flows exports "
posix_headers='^(unistd|strings|pthread|dirent|fcntl|dlfcn|poll|spawn|termios|semaphore|sched|signal|glob|fnmatch|libgen|utime|pwd|grp|netdb|mqueue|aio|syslog|ftw|wordexp|sys/.*|netinet/.*|arpa/.*)\.h$'

interface=$(cd platform && printf 'platform/%s ' *.h)
system_platform="platform/WinTypes.h platform/Platform.h platform/Temporary.h platform/Stream.h platform/Win.h platform/DialogTemplate.h platform/ScopedFind.h"

status=0
checked=0
fail() {
  echo "include_layers: $*"
  status=1
}

# resolve FOLDER PATH: the repository path a quoted include names, beside
# the including file first, then from the top of the tree (the farms).
resolve() { if [ -e "$1/$2" ]; then realpath -ms --relative-to=. "$1/$2"; else realpath -ms --relative-to=. "$2"; fi; }

declare -A known=()
for rule in "${rules[@]}"; do
  folder=${rule%%:*}
  known[$folder]=1
  allowed=${rule#*:}
  allowed=${allowed//SYSTEM/$system_platform}
  allowed=${allowed//PLATFORM/$interface}
  for file in "$folder"/*.h "$folder"/*.cpp "$folder"/*.c; do
    [ -e "$file" ] || continue
    while IFS= read -r path; do
      checked=$((checked + 1))
      target=$(resolve "$folder" "$path")
      [ "$(dirname "$target")" = "$folder" ] && continue
      for prefix in $allowed ""; do [[ -n $prefix && $target == "$prefix"* ]] && break; done
      [ -n "$prefix" ] || fail "$file includes \"$path\" ($target), which its layer may not use"
    done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
    [[ $no_posix == *" $folder "* ]] || continue
    header=$(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*<([^>]+)>.*/\1/p' "$file" | grep -E "$posix_headers")
    [ -z "$header" ] || fail "$file includes <$header>: this code reaches the host through platform/"
  done
done

sources() {  # the tree's sources, also outside a git checkout
  git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' '*.c' 2>/dev/null ||
    find . \( -path './build*' -o -path ./.git -o -path ./world \) -prune -o \
      \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print
}

# Every folder with sources has a rule, or is a host program of its own.
while IFS= read -r folder; do
  [ -n "${known[$folder]:-}" ] && continue
  [[ $free_folders == *" $folder "* ]] && continue
  fail "no rule for the folder $folder/ (add it to the table above and to docs/architecture.md)"
done < <(sources | xargs -r -n1 dirname | sed 's#^\./##' | sort -u)

echo "include_layers: $checked includes checked"
exit $status
