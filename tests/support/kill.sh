# Sourced by the kill and interrupt scripts: lib.sh, the seed of the random
# delays (named by fail), a command run to its end, and one killed midway.
SEED=${TALVER_KILL_SEED:-$RANDOM}
RANDOM=$SEED
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Runs a command to its end; its time in milliseconds on stdout. Inside
# $(...) fail ends only that subshell, so callers check the output.
timed() {
  local start end
  start=$(date +%s%N)
  timeout 120 "$@" </dev/null >"$work/out" 2>&1 || fail "$*: $(cat "$work/out")"
  grep -q '^result=1' "$work/out" || fail "$*: $(cat "$work/out")"
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

# kill_midway [-s SIGNAL] MS COMMAND...: starts COMMAND and sends it SIGNAL
# (KILL) after delay= a random part of MS milliseconds, drawn here and not in
# a subshell, which would reseed; rc= its exit code, its stdout and stderr in
# $work/killed.out and $work/killed.err.
kill_midway() {
  local signal=KILL pid
  [ "$1" != -s ] || { signal=$2 && shift 2; }
  delay=$((RANDOM % ($1 + 1)))
  shift
  "$@" </dev/null >"$work/killed.out" 2>"$work/killed.err" &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -"$signal" "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  rc=$?
}
