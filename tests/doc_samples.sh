#!/bin/bash
# Every shell sample of the README and of docs/ runs as written: each file's
# ```sh blocks run in turn in a fresh folder that is also $HOME (so the
# default world is the sample's own), with svpconf on PATH; a block fails the
# test when it exits non-zero. A block that installs, builds or runs for
# minutes says so on the line before it: <!-- not run: REASON -->.
source "$(dirname "$0")/support/lib.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir "$work/bin"
ln -s "$(cd "$(dirname "$SVPCONF")" && pwd)/$(basename "$SVPCONF")" "$work/bin/svpconf"

# Writes each block of FILE that runs into DIR/N.sh and prints the count
# (f: the file of the block being read, /dev/null for one not run).
split_blocks() {
  awk -v dir="$2" '
    !f && /^[ \t]*```sh[ \t]*$/ {
      f = before ~ /^[ \t]*<!-- not run:/ ? "/dev/null" : dir "/" ++n ".sh"
      printf "" >f; next }
    f && /^[ \t]*```[ \t]*$/ { close(f); f = before = ""; next }
    f { print >f; next }
    NF { before = $0 }
    END { print n + 0 }' "$1"
}

failed=0
ran=0
for doc in "$root"/README.md "$root"/docs/*.md; do
  name=${doc#"$root"/}
  dir="$work/$(echo "$name" | tr / _)"
  mkdir -p "$dir/blocks" "$dir/home"
  count=$(split_blocks "$doc" "$dir/blocks")
  for ((i = 1; i <= count; i++)); do
    ran=$((ran + 1))
    if ! (cd "$dir/home" && env -u TALVER_WORLD -u XDG_DATA_HOME HOME="$dir/home" \
      PATH="$work/bin:$PATH" timeout 120 bash -e "$dir/blocks/$i.sh") >"$dir/out" 2>&1 </dev/null; then
      echo "FAIL: $name, shell sample $i:"
      { cat "$dir/blocks/$i.sh" && echo "said:" && tail -20 "$dir/out"; } | sed 's/^/    /'
      failed=1
    fi
  done
done
[ "$ran" -gt 0 ] || { echo "FAIL: no shell sample found"; exit 1; }
[ $failed -eq 0 ] && echo "PASS: $ran samples"
exit $failed
