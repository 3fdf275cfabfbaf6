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

# Starts a command, kills it after a random part of its clean time.
kill_midway() {
  local ms=$1
  shift
  local delay=$((RANDOM % (ms + 1)))
  "$@" </dev/null >/dev/null 2>&1 &
  local pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  echo "$delay"
}
