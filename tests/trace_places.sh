#!/bin/bash
# Every "File=.\NAME.cpp(N)" of a trace names one place: files that share a
# trace name count their lines from bases of their own, 1000 apart, and each
# of them is shorter than 1000 lines, so no two places give the same N.
# Usage: trace_places.sh [SVPCONF LIBTALVER]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
python3 - "$root" <<'PY'
import collections, glob, os, re, sys
root = sys.argv[1]
names = collections.defaultdict(list)
for folder in ("archive", "backupfile", "common", "exports", "flows", "media", "validate",
               "resources", "svpsvc", "tar32", "host"):
    for path in glob.glob(os.path.join(root, folder, "**", "*.cpp"), recursive=True):
        text = open(path, encoding="utf-8", errors="replace").read()
        m = re.search(r'TALVER_SOURCE(?:_AT)?\("([^"]+)"(?:,\s*(\d+))?\)', text)
        if m:
            names[m.group(1)].append((int(m.group(2) or 0), os.path.relpath(path, root),
                                      text.count("\n") + 1))
bad = []
for name, files in sorted(names.items()):
    if len(files) < 2:
        continue
    bases = [b for b, _, _ in files]
    if len(set(bases)) != len(bases):
        bad.append(f"{name}: two files share a line base: {sorted(files)}")
    for base, path, lines in files:
        if base % 1000 or lines >= 1000:
            bad.append(f"{name}: {path} (base {base}, {lines} lines) may name another's place")
if bad:
    sys.exit("\n".join("FAIL: " + line for line in bad))
shared = sum(len(f) for f in names.values() if len(f) > 1)
print(f"PASS: {len(names)} trace names, {shared} files share one")
PY
