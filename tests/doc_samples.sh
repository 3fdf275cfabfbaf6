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

# Writes each block of FILE that runs into DIR/N.sh and prints the count.
split_blocks() {
  python3 - "$1" "$2" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read().split("\n")
n, block, skip, before = 0, None, False, ""
for line in text:
    if block is None:
        if line.strip() == "```sh":
            block, skip = [], before.strip().startswith("<!-- not run:")
        elif line.strip():
            before = line
        continue
    if line.strip() == "```":
        if not skip:
            n += 1
            open(f"{sys.argv[2]}/{n}.sh", "w").write("\n".join(block) + "\n")
        block, before = None, ""
        continue
    block.append(line)
print(n)
PY
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
