#!/usr/bin/env bash
# A mutation sample: each row of the table below changes one piece of the
# system (exact original text -> replacement), builds talver_tests in a scratch
# copy of the tree and runs it. A mutant is killed when a test fails, survives
# when all pass; a run that outlives its bound counts as killed but names the
# test that hung (a test must fail, never hang). A long sweep, not run by CI.
# Usage: tests/mutants.sh [NAME...]   (all rows without names)
#   TALVER_MUTANTS_DIR  scratch folder (build-mutants/ of the tree by default)
#   TALVER_MUTANT_TIMEOUT  seconds one test run may take (900 by default)
#   TALVER_MUTANTS_BUILD=DIR  no copy: mutate the tree itself and build in
#     DIR, a built folder of it (each file is put back, also on Ctrl-C; do not
#     edit or commit the system's files meanwhile)
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
scratch=${TALVER_MUTANTS_DIR:-$repo/build-mutants}
bound=${TALVER_MUTANT_TIMEOUT:-900}
if [ -n "${TALVER_MUTANTS_BUILD:-}" ]; then
  src=$repo
  build=$(cd "$TALVER_MUTANTS_BUILD" && pwd) || exit 1
else
  src=$scratch/tree
  # Beside the sources as in a developer's tree, so that ccache finds the
  # objects it has already (CCACHE_BASEDIR above both).
  build=$src/build
fi

# name @@ file @@ original text @@ replacement (\n: a new line; empty: dropped)
table=$(
  cat <<'ROWS'
floppy-free-exact @@ flows/BackupVolumes.cpp @@ t->freeBytes < kFloppyArchiveLimit + records @@ t->freeBytes <= kFloppyArchiveLimit + records
volumes-exact-multiple @@ flows/BackupVolumes.cpp @@ size / kFloppyArchiveLimit + (size % kFloppyArchiveLimit ? 1 : 0) @@ size / kFloppyArchiveLimit + 1
archiving-trace-dropped @@ flows/BackupToMedia.cpp @@ TRACE_TEXT("ERR Talver_BackupConfigDialog"); @@
restore-kind-before-fetch @@ flows/RestoreFromMedia.cpp @@ TRACE_TEXT("Get Config Data"); @@ *restoreKind = kRestoreFromSoftwareMedium;\n  TRACE_TEXT("Get Config Data");
software-type-hex-upper @@ media/MediaClassify.cpp @@ "%02x", ownType & 0xFF @@ "%02X", ownType & 0xFF
no-backup-ends-selection @@ media/SelectMedia.cpp @@ if (*run.resultWord == kWordWrongMedium) return BackToChoice(run); @@ if (*run.resultWord == kWordMediumUnreadable) return BackToChoice(run);
volumes-limit-inclusive @@ flows/BackupVolumes.cpp @@ if (count > kMaxVolumes) { @@ if (count >= kMaxVolumes) {
disk-room-exact @@ flows/BackupVolumes.cpp @@ if (w.info->sizeLow + records > t->freeBytes) { @@ if (w.info->sizeLow + records >= t->freeBytes) {
split-refused-word @@ flows/BackupVolumes.cpp @@ kAnswerNo) {\n        *w.resultWord = kWordCancelled; @@ kAnswerNo) {\n        *w.resultWord = kWordStepFailed;
setup-cancel-as-failure @@ flows/SetupInSvp.cpp @@ return resultWord == kWordCancelled ? 2 : 0; @@ return resultWord == kWordCancelled ? 0 : 0;
model-index-past-table @@ flows/RestoreFromMedia.cpp @@ modelIndex >= kModelTableSize @@ modelIndex > kModelTableSize
fetch-zero-count-as-one @@ flows/FetchArchive.cpp @@ if (c4.volumeCount == 1) return 1; @@ if (c4.volumeCount <= 1) return 1;
fetch-first-volume-any @@ flows/FetchArchive.cpp @@ if (c4.volumeNumber != 0) { @@ if (c4.volumeNumber > 1) {
unpack-trace-dropped @@ flows/Unpack.cpp @@ if (result == 0) TRACE_TEXT("ERR CompressDialog"); @@
other-request-no-software @@ media/MediaClassify.cpp @@ if (kind == kMediaBackup || kind == kMediaSoftware) return true; @@ if (kind == kMediaBackup) return true;
software-type-not-restored @@ media/MediaClassify.cpp @@ if (kind == kMediaSoftware && request == kRequestSoftware)\n    selection->config4.Config4TypeWord = savedType; @@
volume-cancel-word @@ media/SelectMedia.cpp @@ if (answer == kDialogCancel) *run.resultWord = kWordCancelled; @@ if (answer == kDialogCancel) *run.resultWord = kWordStepFailed;
drive-root-case @@ media/SelectMedia.cpp @@ if (CompareIgnoringCase(root, run.selection->drivePath) != 0) continue; @@ if (std::strcmp(root, run.selection->drivePath) != 0) continue;
archived-default-serial @@ validate/CnfChkMedia.cpp @@ if (archived == DefaultSerialNumber) return 1; @@
serial-text-length @@ validate/CnfChkMedia.cpp @@ } else if (std::strlen(text) != 6) { @@ } else if (std::strlen(text) > 6) {
serial-match-either-default @@ validate/CnfChkMedia.cpp @@ if (current == DefaultSerialNumber || current == archived) return 1; @@ if (current == archived) return 1;
compress-attempts @@ archive/CnfBakup.cpp @@ if (attempts > kMaxAttempts - 1) { @@ if (attempts > kMaxAttempts) {
retention-oldest @@ archive/CnfBakup.cpp @@ CompareIgnoringCase(oldest, name) > 0 @@ CompareIgnoringCase(oldest, name) < 0
backup-stamp-digits @@ archive/CnfBakup.cpp @@ std::strspn(text, "0123456789") == 14 @@ std::strspn(text, "0123456789") >= 13
gpfm-target-cfm @@ backupfile/CnfBakCnfReader.cpp @@ if (targetCFM != 1 && targetCFM != 2) { @@ if (targetCFM != 1 && targetCFM != 2 && targetCFM != 3) {
gpfm-segment-sum @@ backupfile/CnfBakCnfReader.cpp @@ if (sum != stored) { @@ if (sum != stored && sum != 0) {
gpfm-short-read @@ backupfile/CnfBakCnfReader.cpp @@ if (!read || got < n) { @@ if (!read) {
backup-folder-name-length @@ backupfile/CnfBakCnfList.cpp @@ if (std::strlen(name) != 6 || name[0] != '4') return false; @@ if (std::strlen(name) < 6 || name[0] != '4') return false;
backup-list-single-row @@ backupfile/CnfBakCnfList.cpp @@ if (rows == 1) return ChooseRow(list, 0); @@ if (rows == 1) return kOperatorChooses;
index-spelling-first @@ platform/posix/NameIndex.cpp @@ *actual = asSpelt ? name : spellings.front(); @@ *actual = asSpelt && false ? name : spellings.front();
alias-unchecked @@ platform/posix/KeptFolders.cpp @@ FolderLease kept = TakeLocked(a.host, st); @@ FolderLease kept;\n    for (const Kept& k : kept_)\n      if (k.folder && k.host == a.host && ::stat(a.host.c_str(), st) == 0) kept = k.folder;
progress-zero-stays-open @@ archive/CnfCmpDlg.cpp @@ if (request->displayFlag == 0) SendMessage(dialog, WM_CLOSE, 0, 0); @@
ROWS
)

say() { echo "mutants: $*"; }

# A scratch copy of the tree as it stands (committed or not), built once.
prepare() {
  mkdir -p "$scratch" "$src" "$build"
  if [ "$src" = "$repo" ]; then
    cmake --build "$build" -j2 --target talver_tests >"$scratch/build.log" 2>&1
    return
  fi
  (cd "$repo" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) |
    tar -xf - -C "$src" || return 1
  cmake -S "$src" -B "$build" -DTALVER_WERROR=ON -DTALVER_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null &&
    cmake --build "$build" -j2 --target talver_tests >"$scratch/build.log" 2>&1
}

# mutate FILE ORIGINAL REPLACEMENT: the one place of ORIGINAL replaced.
mutate() {
  python3 - "$@" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("\\n", "\n"), sys.argv[3].replace("\\n", "\n")
text = open(path, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit("%s: the original text occurs %d times" % (path, text.count(old)))
open(path, "w", encoding="utf-8").write(text.replace(old, new))
PY
}

# The tests of a file's mutants that run first; only a mutant that passes
# them runs the whole suite (a killed mutant is known sooner, a survivor is
# one of the whole suite).
first_tests() {
  case $1 in
    flows/BackupVolumes.cpp | flows/BackupToMedia.cpp) echo 'BackupMedia*:FaultLoop*' ;;
    flows/RestoreFromMedia.cpp) echo 'RestoreMedia*:FaultLoop*' ;;
    flows/InstallByModel.cpp) echo 'InstallByModel*:Selection*:ExportFrames*' ;;
    flows/SetupInSvp.cpp | flows/FetchArchive.cpp) echo 'Setup*:RestoreMedia*:FaultLoop*' ;;
    flows/Unpack.cpp) echo 'ArchiveCommands*:FaultLoop*:ExportFrames*' ;;
    media/*) echo 'Selection*:Drives*:MediaList*:Setup*:BackupListDialog*' ;;
    validate/*) echo 'IdentityCheck*:ArchiveCheck*:Config4*:*Serial*:RestoreGpfm*:*Identity*' ;;
    archive/*) echo 'HddBackup*:FaultLoop*:ArchiveCommands*' ;;
    backupfile/CnfBakCnfList.cpp) echo 'BackupListDialog*:Selection*:Setup*' ;;
    backupfile/*) echo 'GpfmReader*:Regions/*:Container*:Conversion*:Runs/*:*Verify*:RestoreGpfm*' ;;
    platform/posix/*) echo 'Platform*:LinkWorld*:*HostLinks*:*Writers*:OddFiles*' ;;
    *) echo '*' ;;
  esac
}

# The tests (a gtest filter, all by default) on the build as it stands: 0
# all passed, 1 one failed, 124 hung. A test that fails once and then passes
# alone is flaky, not a kill: it is named and the run goes on without it.
run_tests() {
  local positive=${1:-*} negative="" rc failed
  for _ in 1 2 3; do
    run_suite "$positive${negative:+-$negative}"
    rc=$?
    [ $rc -eq 1 ] || return $rc
    failed=$(grep -m1 -E '^\[  FAILED  \]' "$scratch/test.log" | sed 's/^\[  FAILED  \] //; s/[ ,].*//')
    [ -n "$failed" ] || return 1
    cp "$scratch/test.log" "$scratch/failed.log"
    run_suite "$failed"
    if [ $? -ne 0 ]; then
      cp "$scratch/failed.log" "$scratch/test.log"
      return 1
    fi
    say "flaky: $failed failed once and passed alone"
    negative=${negative:+$negative:}$failed
  done
  return $rc
}


# One run of talver_tests with the filter.
run_suite() {
  (cd "$build" && TALVER_NO_TERMINAL=1 timeout -k 10 "$bound" tests/talver_tests --gtest_fail_fast \
    --gtest_brief=1 --gtest_filter="${1:-*}" >"$scratch/test.log" 2>&1)
  local rc=$?
  [ $rc -eq 124 ] || [ $rc -eq 137 ] && return 124
  [ $rc -eq 0 ] && return 0
  return 1
}

trim() { sed 's/^ *//; s/ *$//' <<<"$1"; }

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$repo")}
say "mutating $src, building in $build"
prepare || { say "the unchanged tree does not build: $scratch/build.log"; exit 1; }
# TALVER_MUTANTS_TRUSTED=1: the unchanged tree is known to pass.
if [ -z "${TALVER_MUTANTS_TRUSTED:-}" ]; then
  run_tests || { say "the unchanged tree fails its tests: $scratch/test.log"; exit 1; }
fi

killed=0 survived=0 hung=0 broken=0 total=0
survivors=()
while IFS= read -r row; do
  [ -n "$row" ] || continue
  name=$(trim "${row%% @@ *}")
  rest=${row#* @@ }
  file=$(trim "${rest%% @@ *}")
  rest=${rest#* @@ }
  original=$(trim "${rest%% @@*}")
  replacement=""
  [[ $rest == *" @@ "* ]] && replacement=$(trim "${rest#* @@ }")
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  total=$((total + 1))
  cp "$src/$file" "$scratch/original"
  trap 'cp "$scratch/original" "$src/$file"; exit 130' INT TERM
  if ! mutate "$src/$file" "$original" "$replacement"; then
    say "$name: BROKEN (the original text is not in $file once)"
    broken=$((broken + 1))
    continue
  fi
  if ! cmake --build "$build" -j2 --target talver_tests >"$scratch/build.log" 2>&1; then
    say "$name: BROKEN (does not compile: $scratch/build.log)"
    broken=$((broken + 1))
  else
    run_tests "$(first_tests "$file")"
    verdict=$?
    if [ $verdict -eq 0 ]; then
      run_tests
      verdict=$?
    fi
    case $verdict in
      0)
        say "$name: SURVIVED ($file)"
        survived=$((survived + 1))
        survivors+=("$name")
        ;;
      124)
        say "$name: killed by a hang, a fault of the test: $(grep -E '^\[ RUN' "$scratch/test.log" | tail -1)"
        hung=$((hung + 1))
        killed=$((killed + 1))
        ;;
      *)
        by=$(grep -m1 -E '^\[  FAILED  \]' "$scratch/test.log" | sed 's/^\[  FAILED  \] //')
        say "$name: killed by ${by:-a crash of talver_tests}"
        killed=$((killed + 1))
        ;;
    esac
  fi
  # Back as it was, newer than its mutant's object so that it rebuilds.
  cp "$scratch/original" "$src/$file"
  trap - INT TERM
done <<<"$table"
cmake --build "$build" -j2 --target talver_tests >"$scratch/build.log" 2>&1
say "$killed of $total killed ($hung by a hang), $survived survived, $broken broken" \
  "${survivors[*]:+; survivors: ${survivors[*]}}"
[ $survived -eq 0 ] && [ $hung -eq 0 ] && [ $broken -eq 0 ]
