#!/bin/bash
# The options operator: without a terminal, svpconf answers dialogs from its
# command-line options, and a dialog that no option answers fails at once,
# naming the dialog and the option, without hanging.
# Usage: win_options.sh SVPCONF LIBTALVER
set -u
SVPCONF=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
"$SVPCONF" init "$work/world" >/dev/null || fail "svpconf init"
export TALVER_WORLD="$work/world/svp.ini"

# No answer: fails at once with the option that would answer the dialog.
out=$(timeout 20 "$SVPCONF" try-dialogs --steps 5 --pause 1 </dev/null 2>&1)
rc=$?
[ $rc -eq 1 ] || fail "unanswered dialog: exit $rc, expected 1 ($out)"
echo "$out" | grep -Eq 'dialog 117 "Confirm Configuration Information.*asks for a confirmation and there is no terminal; answer it with --confirm' ||
  fail "no account of the unanswered dialog: $out"

# The option answers it (before or after the subcommand).
out=$(timeout 20 "$SVPCONF" try-dialogs --steps 5 --pause 1 --confirm </dev/null 2>&1)
[ $? -eq 0 ] || fail "answered dialog: $out"
echo "$out" | grep -q '^result=1 word=0x0000' || fail "answered dialog: $out"
out=$(timeout 20 "$SVPCONF" --confirm try-dialogs --steps 5 --pause 1 </dev/null 2>&1)
echo "$out" | grep -q '^result=1 word=0x0000' || fail "global option first: $out"

# A notice needs no answer; its answer line is logged.
out=$(timeout 20 "$SVPCONF" rancher </dev/null 2>&1)
[ $? -eq 0 ] || fail "rancher: $out"
"$SVPCONF" trace | grep -Fq '### [MSG] ID=4701,OK button was selected.' || fail "no answer line"
echo "PASS"
