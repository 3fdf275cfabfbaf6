#!/usr/bin/env bash
# svpconf --json: every command prints one JSON document on stdout whose
# outcome and exit code agree with its exit status; an export's result and
# word are those of its human line (on stderr); a failure says what failed
# and what to do. The rows run in order on one sample world.
source "$(dirname "$0")/support/lib.sh"
sample_world "$work/w"
c="$c/PLAXON"
mkdir -p "$work/tables" && head -c 13200 /dev/urandom >"$work/tables/63" && echo abc >"$work/tables/5"
# Checks one run of a row (exit result word field | arguments): $1 exit
# status wanted ("!" any failure), $2 result, $3 word ("-": no export), $4 a
# field the document must hold ("-": none).
check_json() {
  python3 - "$@" "$work/out" "$work/err" <<'PY'
import json, os, sys
want, result, word, field, rc, out, err = sys.argv[1:8]
rc = int(rc)
text, errs = open(out).read(), open(err).read()
try:
    doc = json.loads(text)
except ValueError as e:
    sys.exit("stdout is not one JSON document (%s): %r" % (e, text[:300]))
problems = []
def need(ok, what):
    if not ok: problems.append(what)
need(want == "!" and rc != 0 or want != "!" and rc == int(want), "exit %d, want %s" % (rc, want))
need(doc.get("exit_code") == rc, "exit_code %r" % doc.get("exit_code"))
outcome = {0: "done", 2: "cancelled"}.get(rc, "failed")
need(doc.get("outcome") == outcome, "outcome %r, want %s" % (doc.get("outcome"), outcome))
need(isinstance(doc.get("command"), str), "no command")
if field != "-":
    need(field in doc, "no field %s" % field)
if field == "backup":
    made = doc["backup"].get("archive_host", "")
    need(os.path.isfile(made) and os.path.getsize(made) > 0, "no backup %r" % doc["backup"])
    need("backup=" + doc["backup"]["archive"] in errs, "backup not printed")
if field == "questions":
    need(doc["of_command"] == "backup-media" and [q["id"] for q in doc[field]][:2] == [106, 3193]
         and all(q["option"] for q in doc[field]), "questions %r" % doc[field])
if doc.get("command") == "audit":
    need(doc["records"] and all(r["time"] for r in doc["records"]), "audit times")
if result != "-":
    need(doc.get("result") == int(result), "result %r, want %s" % (doc.get("result"), result))
    need(doc.get("word") == word and doc.get("word_value") == int(word, 16),
         "word %r/%r, want %s" % (doc.get("word"), doc.get("word_value"), word))
    need("result=%s word=%s" % (result, word) in errs, "human line not on stderr")
    need(all("source" in t or "raw" in t for t in doc.get("trace", [None])), "trace records")
    if result == "0" and word != "0x4000":
        f = doc.get("failure", {})
        need(f.get("what") and f.get("todo") and "To do: " in f.get("sentence", ""),
             "failure %r" % f)
if problems:
    sys.exit("; ".join(problems) + "\n" + text[:2000])
PY
}
status=0
while IFS='|' read -r expected args; do
  [ "$args" = " update-2nd" ] && [ "${expected:2:1}" = 1 ] && mkdir -p "$c/HOME/DIFF" &&
    cp "$c/DIFF/svp_conf.tgz" "$c/HOME/DIFF/"
  eval "set -- $args"
  timeout 60 "$SVPCONF" --json "$@" </dev/null >"$work/out" 2>"$work/err"
  rc=$?
  # shellcheck disable=SC2086
  if ! why=$(check_json $expected "$rc" 2>&1); then
    echo "FAIL:$args: $why"
    sed 's/^/    /' "$work/err" | head -20
    status=1
  fi
done <<ROWS
0 - - world    | init '$work/w2'
1 - - error    | init '$work/w2'
0 - - version  | --version
0 - - help     | hdd-backup --help
0 - - questions | questions backup-media
! - - error    | bogus
1 - - error    | --env '$work/none/svp.ini' rancher
0 1 0x0000 backup | hdd-backup
0 - - backups  | backups
0 - - verified | backups --verify
1 - - verified | --drive A backups --verify
0 - - entries  | ls DIFF
0 - - changes  | diff DIFF live
0 1 0x0000 -   | rancher
0 1 0x0000 -   | compressed
0 1 0x0000 type | config-type
1 0 0x2000 -   | unpack 'C:\nothing.tgz' 'C:\PLAXON\TMP\'
0 1 0x0000 -   | unpack 'C:\PLAXON\DIFF\svp_conf.tgz' 'C:\PLAXON\TMP\'
1 0 0x4004 -   | update-2nd
0 1 0x0000 -   | update-2nd
0 1 0x0000 -   | check 'C:\PLAXON\DIFF\svp_conf.tgz'
1 0 0x2000 -   | check 'C:\nothing.tgz'
1 2 0x4000 -   | backup-media
0 1 0x0000 -   | --drive E backup-media
2 2 0x4000 -   | --drive E --answer 3351=no backup-media
1 0 0x2000 -   | install-model --selector 3 --mode 0
1 2 0x4000 -   | setup 'D:\' 'C:\PLAXON\'
1 0 0x2000 -   | --setup-source backup --drive E setup 'E:\' 'C:\'
1 0 0x4000 kind | restore-media
1 0 0x4000 -   | restore-gpfm /etc/passwd
1 0 0x400B -   | --setup-source cdr --key XBKZNRTQ --answer 4053=ok setup 'D:\' 'C:\PLAXON\'
0 - - classes  | drives
1 0 0x4000 drive | select-media --request-kind 5
1 2 0x0000 -   | try-dialogs --steps 2 --pause 0
0 - - config4  | read-config4 'C:\PLAXON\CONFIG\config4'
1 - - -        | read-config4 'C:\PLAXON\CONFIG\none'
0 - - records  | audit
0 - - records  | trace --tail 3
0 - - file_bytes | gpfm make '$work/t.gpfm' --from '$work/tables'
0 - - tables   | gpfm inspect '$work/t.gpfm'
1 - - refusal  | gpfm inspect /etc/passwd
0 - - extracted | gpfm extract '$work/t.gpfm' '$work/lz4'
0 - - created  | shm create jsontest --hold 0
1 - - exists   | shm open jsontest
1 - - error_code | shm write jsontest abc
ROWS
# Without --env or \$TALVER_WORLD the world is the default one, for svpconf
# and the library alike.
timeout 60 "$SVPCONF" init "$work/xdg/talver/world" >/dev/null
out=$(env -u TALVER_WORLD XDG_DATA_HOME="$work/xdg" timeout 60 "$SVPCONF" config-type 2>&1) ||
  { echo "FAIL: the default world: $out"; status=1; }
[ $status -eq 0 ] && echo "json output: ok"
exit $status
