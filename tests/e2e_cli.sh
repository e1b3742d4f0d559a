#!/usr/bin/env bash
# The command-line tool as a user runs it: usage, exit codes, failures, folder sources.
set -u
bin="$(cd "$1" && pwd)/tolvik-convert"
. "$(dirname "$0")/checks.sh"

# Usage errors exit 2 with the usage text; help and version exit 0.
"$bin" >"$tmp/o" 2>"$tmp/e"; rc=$?
check "no arguments is a usage error" test $rc -eq 2
check "usage text on a usage error" grep -q "Usage: tolvik-convert -o OUTDIR SOURCE" "$tmp/e"
"$bin" -o "$tmp/out" >"$tmp/o" 2>"$tmp/e"; rc=$?
check "no sources is a usage error" test $rc -eq 2
"$bin" --bogus -o "$tmp/out" x.eml >"$tmp/o" 2>"$tmp/e"; rc=$?
check "unknown option is a usage error" test $rc -eq 2
"$bin" --help >"$tmp/o" 2>&1; rc=$?
check "--help exits 0" test $rc -eq 0
check "--help shows usage" grep -q "Usage: tolvik-convert" "$tmp/o"
"$bin" --version >"$tmp/o" 2>&1; rc=$?
check "--version exits 0" test $rc -eq 0
check "--version names program and version" test "$(head -n 1 "$tmp/o")" = "tolvik-convert 2.01"
check "--version names the licence" grep -q "^License GPL-3.0-or-later: " "$tmp/o"

# A tree: two folders, a relative source path, a file that is missing.
mkdir -p "$tmp/src/Mail/Inbox/Sub" "$tmp/src/Mail/Sent"
printf 'From: Ann <ann@example.org>\r\nDate: Fri, 5 Mar 2010 09:07:03 +0100\r\n\r\nFrom here\r\n' >"$tmp/src/Mail/Inbox/a.eml"
printf 'From: bob@example.org\nDate: Sat, 6 Mar 2010 10:00:00 +0000\n\nhello\n' >"$tmp/src/Mail/Inbox/Sub/b.EML"
printf 'Subject: no sender\r\n\r\nx' >"$tmp/src/Mail/Sent/10.eml"
printf 'Subject: no sender\r\n\r\ny' >"$tmp/src/Mail/Sent/2.eml"
printf 'not a message' >"$tmp/src/Mail/Sent/notes.txt"
out="$tmp/out"
(cd "$tmp/src" && "$bin" -o "$out" Mail/Inbox/a.eml "$tmp/src/Mail/missing.eml") >"$tmp/o" 2>"$tmp/e"; rc=$?
check "a missing file exits 1" test $rc -eq 1
check "the failure names the file" grep -q "^tolvik-convert: $tmp/src/Mail/missing.eml: could not read the message: it does not exist$" "$tmp/e"
check "summary line" grep -q "^tolvik-convert: 1 converted, 1 failed, 1 mailbox written$" "$tmp/e"
inbox="$out$tmp/src/Mail/Inbox/Inbox.mbox"
check "relative source made absolute and mirrored" test -f "$inbox"
check "record bytes" cmp -s "$inbox" <(printf 'From ann@example.org Fri Mar 05 09:07:03 2010\r\nFrom: Ann <ann@example.org>\r\nDate: Fri, 5 Mar 2010 09:07:03 +0100\r\n\r\n>From here\r\n\r\n')
check "no progress line when stderr is not a terminal" bash -c "! grep -q 'Message 1' '$tmp/e'"

# On a terminal the progress shows on one line that is rewritten.
script -qec "'$bin' -o '$tmp/tty-out' '$tmp/src/Mail/Inbox/a.eml' '$tmp/src/Mail/Sent/2.eml'" /dev/null >"$tmp/tty" 2>&1
check "progress on a terminal" grep -aq $'\rMessage 1 (of 2)\rMessage 2 (of 2)' "$tmp/tty"

# A folder source: every .eml of the tree, breadth-first, numbers in order.
rm -rf "$out"
"$bin" -o "$out" "$tmp/src" >"$tmp/o" 2>"$tmp/e"; rc=$?
check "folder source exits 0" test $rc -eq 0
check "folder summary" grep -q "4 converted, 0 failed, 3 mailboxes written" "$tmp/e"
sent="$out$tmp/src/Mail/Sent/Sent.mbox"
check "2.eml before 10.eml" test "$(grep -a -o '^[xy]' "$sent" | tr -d '\n')" = "yx"
check "file without sender gets MAILER-DAEMON" grep -q "^From MAILER-DAEMON " "$sent"
check "notes.txt not taken" bash -c "! grep -rq 'not a message' '$out'"
# formail wants LF line ends to see the empty line before a separator.
check "formail splits it into two messages" test "$(tr -d "\r" <"$sent" | formail -s echo x | wc -l)" -eq 2

# A file-size limit cutting a record: the mailbox keeps its earlier records exactly.
cp "$inbox" "$tmp/before" 2>/dev/null || true
mkdir -p "$tmp/big/Mail/Inbox"
head -c 300000 /dev/zero | tr '\0' 'a' >"$tmp/big/Mail/Inbox/big.eml"
rm -rf "$out"; "$bin" -o "$out" "$tmp/src/Mail/Inbox/a.eml" 2>/dev/null
cp "$inbox" "$tmp/before"
(ulimit -f 100; "$bin" -o "$out" "$tmp/big/Mail/Inbox/big.eml" "$tmp/src/Mail/Inbox/a.eml") >"$tmp/o" 2>"$tmp/e"; rc=$?
check "size limit exits 1" test $rc -eq 1
check "size limit named in the report" grep -q "largest size" "$tmp/e"
check "earlier records untouched, later row still converted" cmp -s <(head -c "$(stat -c %s "$tmp/before")" "$inbox") "$tmp/before"
check "the big mailbox was not left half-written" test ! -e "$out$tmp/big/Mail/Inbox/Inbox.mbox"

# Everything written is on the disk before the summary: the syncfs comes first.
check "strace is installed (scripts/install-deps.sh --test)" test -n "$(command -v strace)"
strace -f -o "$tmp/trace" -e trace=syncfs,write "$bin" -o "$tmp/sync-out" "$tmp/src/Mail/Inbox/a.eml" 2>/dev/null
saved_at=$(grep -n 'syncfs(.*) *= 0' "$tmp/trace" | head -n 1 | cut -d: -f1)
summary_at=$(grep -n 'write(2, "tolvik-convert: 1 converted' "$tmp/trace" | head -n 1 | cut -d: -f1)
check "the output is saved to the disk before the summary (syncfs at ${saved_at:-none}, summary at ${summary_at:-none})" \
    test "${saved_at:-0}" -gt 0 -a "${summary_at:-0}" -gt "${saved_at:-0}"

finish
