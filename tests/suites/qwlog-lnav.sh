#!/usr/bin/env bash
# The lnav format quillwork_log with the real lnav (headless, -n): every entry and every dump of
# a golden log is one message with its written time and, for a dump, its direction; a banner in
# the middle of a file never starts a message of its own.
set -u
: "${QW_TOP:=$(cd "$(dirname "$0")/../.." && pwd)}"
export QW_TOP
source "$QW_TOP/tests/lib/common.sh"
golden="$QW_TOP/tests/qwlog/golden"
format="$QW_TOP/tools/lnav/quillwork_log.json"
work="$QW_TOP/build/qwlog-lnav"
if ! command -v lnav >/dev/null; then echo "SKIP lnav is not installed"; exit 0; fi
rm -rf "$work" && mkdir -p "$work"
export HOME="$work/home" TZ=UTC  # lnav keeps its formats under $HOME: never the user's own
mkdir -p "$HOME"
qw_check "lnav installs the format file" eval 'lnav -i "$format" >"$work/install.out" 2>&1 && grep -q installed "$work/install.out"'

# The messages lnav finds, as "line,time,dir", against the records in the expected JSON: each
# entry and dump starts a message at its own line (0-based in lnav), with its stamp and arrow.
# Only the banner at the very top of a file, before any stamp, may stand as messages of its own.
messages_match() {  # messages_match NAME
  local name=$1
  cp "$golden/2024-03-05/$name.log" "$work/$name.log"
  lnav -n -c ';SELECT log_line, log_time, ifnull(dir, ""), ifnull(thread, "") FROM quillwork_log' -c ':write-csv-to -' \
    "$work/$name.log" >"$work/$name.csv" 2>"$work/$name.err" || return 1
  python3 - "$golden/expected/$name.jsonl" "$work/$name.csv" <<'PY'
import csv, json, sys
records = [json.loads(l) for l in open(sys.argv[1])]
rows = list(csv.reader(open(sys.argv[2])))[1:]
first = min(r["line"] for r in records if r["kind"] != "open") - 1
# lnav keeps a time to the millisecond: a stamp's fraction, truncated, or .000 without one.
def millis(t):
    whole, _, frac = t.partition(".")
    return whole + "." + (frac + "000")[:3]
want = [(str(r["line"] - 1), millis(r["time"]), {"out": "-->", "in": "<--"}.get(r.get("dir"), ""),
         str(r.get("thread", ""))) for r in records if r["kind"] != "open"]
got = [tuple(r) for r in rows if int(r[0]) >= first]
if got != want:
    print("want", want[:5], "\ngot ", got[:5]); sys.exit(1)
PY
}

for name in 090807_worked 090807_dumps 090807_text 090807_reopen; do
  qw_check "lnav: every entry and dump of $name.log is one message with its time and direction" messages_match "$name"
done
# The stamp forms ([LOG] STAMP=MS|US, THREAD=1), one file each and one that mixes them.
for name in 090807_ms 090807_us 090807_thread 090807_us_thread 090807_mixed; do
  qw_check "lnav: every entry and dump of $name.log is one message with its time to the millisecond, direction and thread" \
    messages_match "$name"
done
# 090807_ms.log: a decimal dump of two lines on lines 13 and 14 (0-based 12 and 13), its second
# line indented by the 28 characters of its stamp, in the dump's body.
qw_check "lnav: a STAMP=MS dump keeps its indented line in its body" eval \
  'lnav -n -c ";SELECT log_body FROM quillwork_log WHERE log_line = 12" -c ":write-csv-to -" "$work/090807_ms.log" | tr -d "\r" | tr "\n" "|" | grep -qF "|                            00000016d: "'
qw_check "lnav: STAMP=MS entries sort by their milliseconds" eval \
  '[ "$(lnav -n -c ";SELECT log_line FROM quillwork_log WHERE log_time > \"2024-03-05 09:08:07.998\" AND log_time < \"2024-03-05 09:08:08\"" -c ":write-csv-to -" "$work/090807_ms.log" | tail -n +2 | tr "\n" " ")" = "9 12 " ]'
# 090807_reopen.log: an entry on line 5, its empty line, the second banner on lines 7 to 10.
qw_check "lnav: no message starts inside the banner of a second Open" eval \
  '[ "$(lnav -n -c ";SELECT count(*) FROM quillwork_log WHERE log_line BETWEEN 5 AND 9" -c ":write-csv-to -" "$work/090807_reopen.log" | tail -1)" = 0 ]'
qw_check "lnav: a multi-line message keeps all its lines in one body" eval \
  'lnav -n -c ";SELECT log_body FROM quillwork_log WHERE log_line = 16" -c ":write-csv-to -" "$work/090807_text.log" | tr -d "\r" | tr "\n" "|" | grep -qF "\"first line|second line|"'
# The banner at the top of a file stands before any stamp, so lnav shows its four lines as
# messages of level "unknown"; the command of docs/qwlog.md hides them (an entry or dump is "info").
qw_check "lnav -c ':set-min-log-level info' shows a file from its first entry, its banner hidden" eval \
  '[ "$(lnav -n -c ":set-min-log-level info" "$work/090807_worked.log" | head -1)" = "2024-03-05 09:08:07  3 items" ]'
