# Sourced by the script tests (tests/*.sh SVPCONF LIBTALVER): SVPCONF and
# LIBTALVER from the arguments, a work folder removed at exit (KEEP=1 keeps
# it), fail, the sample world, a bounded run of svpconf and anchored checks of
# what it said, and the fixtures several scripts share.
set -u
SVPCONF=${1:-}
LIBTALVER=${2:-}
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
# To stderr: a failure inside $(...) or under >/dev/null must still be seen.
fail() {
  echo "FAIL${SEED:+ (seed $SEED)}: $*" >&2
  exit 1
}

# sample_world DIR: `svpconf init` into DIR, made the world; c= its drive C.
sample_world() {
  timeout 60 "$SVPCONF" init "$1" >/dev/null || fail "svpconf init $1"
  export TALVER_WORLD="$1/svp.ini"
  c="$1/drives/c"
}

# run [-t SECONDS] ARGS...: svpconf ARGS with nothing on stdin, bounded (60 s);
# out= its stdout and stderr, rc= its exit code, ran= its arguments.
run() {
  local seconds=60
  if [ "${1:-}" = -t ]; then
    seconds=$2
    shift 2
  fi
  ran="$*"
  out=$(timeout "$seconds" "$SVPCONF" "$@" </dev/null 2>&1)
  rc=$?
  [ $rc -ne 124 ] || fail "svpconf $ran did not end within $seconds s: $out"
}

# expect RC [ERE...]: the last run exited RC ("!": any failure) and said a
# whole line matching each ERE.
expect() {
  local want=$1 pattern
  shift
  if [ "$want" = "!" ]; then
    [ "$rc" -ne 0 ] || fail "svpconf $ran: exit 0, expected a failure: $out"
  else
    [ "$rc" = "$want" ] || fail "svpconf $ran: exit $rc, expected $want: $out"
  fi
  for pattern; do
    grep -Eq -- "^($pattern)\$" <<<"$out" || fail "svpconf $ran: no line '$pattern' in: $out"
  done
}

# check RC [ERE...] -- ARGS...: run ARGS (-t too), then expect RC [ERE...].
check() {
  local -a want=()
  while [ "$1" != -- ]; do want+=("$1") && shift; done
  shift
  run "$@"
  expect "${want[@]}"
}

# config4 TYPE_LE COUNT NUMBER: a 32-byte config4 record of serial 412345.
config4() {
  printf "HEADBYTES!$1$2$3\xb9\x4a\x06\x00\x01\x00\x00\x00\x02\x00\x00\x00TAIL!!"
}

# svp_drive [DIR]: c= DIR ($work/c), the drive C: of an SVP with the folders
# TMP and MP\PC; config= its CONFIG tree, of type 0x8360 and serial 412345.
svp_drive() {
  c="${1:-$work/c}"
  config="$c/PLAXON/CONFIG"
  mkdir -p "$config/CNFDATA" "$c/PLAXON/TMP" "$c/PLAXON/MP/PC" || fail "mkdir $c"
  printf 'SVPCONF 01020360\r\n' >"$config/CONFIG.INF"
  printf '[SVP_MAIN]\r\nType=TQ520\r\n' >"$config/SVP_MAIN.INI"
  printf 'SERIAL=412345\r\nMODEL=7\r\n' >"$config/DKCPRP.DAT"
  printf 'PCMTYPE=3\r\n' >"$config/LMCPT.DAT"
  {
    printf 'HEADBYTES!\x60\x83\x01\x00'
    head -c 18 /dev/zero
  } >"$config/config4"
}

# world_ini DRIVE...: a world file rooted at C: on stdout; each DRIVE is
# LETTER=PATH:TYPE[:KEY=VALUE...] (an empty PATH: none).
world_ini() {
  local d kv
  local -a fields
  printf '[world]\nroot = C:\n'
  for d; do
    IFS=: read -r -a fields <<<"${d#*=}"
    printf '[drive.%s]\n' "${d%%=*}"
    [ -z "${fields[0]}" ] || printf 'path = %s\n' "${fields[0]}"
    printf 'type = %s\n' "${fields[1]}"
    for kv in "${fields[@]:2}"; do printf '%s = %s\n' "${kv%%=*}" "${kv#*=}"; done
  done
}

# dkcf_table DIR: table 63 in DIR, whose DKCF carries the default serial
# number (400001) and version 02030460.
dkcf_table() {
  local at
  mkdir -p "$1" && head -c 13160 /dev/zero >"$1/63" || fail "table 63"
  for at in '16 \001' '6484 02030460' '13088 CFREV'; do
    printf "${at#* }" | dd of="$1/63" bs=1 seek="${at%% *}" conv=notrunc status=none
  done
}

# c_toolchain: build= svpconf's build tree, cc and cxx its compilers, and
# sanitize= what a program needs to load its library when that is sanitized.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
c_toolchain() {
  build=$(cd "$(dirname "$SVPCONF")" && pwd)
  [ -f "$build/CMakeCache.txt" ] || fail "$build is not a build tree"
  cc=${CC:-$(cached CMAKE_C_COMPILER)}
  cxx=${CXX:-$(cached CMAKE_CXX_COMPILER)}
  sanitize=
  case "$(cached TALVER_SANITIZE)" in ON | on | TRUE | true | 1) sanitize=-fsanitize=address,undefined ;; esac
}
