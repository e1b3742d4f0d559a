#!/usr/bin/env bash
# tolvik-convert cut short and crowded: SIGINT, SIGTERM and SIGHUP in the middle of a large
# record; a SIGKILL followed by another run; a closed pipe on stderr; two runs appending to one
# mailbox at once, one of them failing part-way; a folder the user may not write. Mailboxes are
# read back with Python's mailbox module.
set -u
bin="$(cd "$1" && pwd)/tolvik-convert"
. "$(dirname "$0")/checks.sh"

# message FILE SUBJECT [BODY-BYTES]: a message with a body of that many bytes of text lines.
message() {
    printf 'From: %s@example.org\r\nDate: Fri, 5 Mar 2010 09:07:03 +0000\r\nSubject: %s\r\n\r\n' "$2" "$2" >"$1"
    if [ "${3:-0}" -gt 0 ]; then
        yes 'a line of the large message, long enough to take some time to write' | head -c "$3" | sed 's/$/\r/' >>"$1"
    else
        printf 'body of %s\r\n' "$2" >>"$1"
    fi
}

# subjects MAILBOX: the Subject of every message a reader finds, one per line.
subjects() {
    python3 -c '
import mailbox, sys
for message in mailbox.mbox(sys.argv[1], create=False):
    print(message["Subject"])' "$1"
}

# grows_past FILE SIZE PID: waits until FILE is larger than SIZE bytes (or PID has ended).
grows_past() {
    local i
    for i in $(seq 1 4000); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -gt "$2" ] && return 0
        kill -0 "$3" 2>/dev/null || return 1
        sleep 0.005
    done
    return 1
}

src="$tmp/src/Box"
mkdir -p "$src" "$tmp/src/Shared"
message "$src/first.eml" first
message "$src/next.eml" next
message "$src/big.eml" big 100000000
out="$tmp/out"
mbox="$out$src/Box.mbox"

# A signal in the middle of a large record: the record is taken off again, the summary is
# printed, and the exit status is 128 + the signal's number.
for signal in INT TERM HUP; do
    rm -rf "$out"
    "$bin" -o "$out" "$src/first.eml" 2>/dev/null
    cp "$mbox" "$tmp/before"
    "$bin" -o "$out" "$src/big.eml" "$src/next.eml" 2>"$tmp/err" &
    pid=$!
    grows_past "$mbox" "$(stat -c %s "$tmp/before")" "$pid"
    kill -s "$signal" "$pid"
    wait "$pid" 2>/dev/null
    rc=$?
    want=$((128 + $(kill -l "$signal")))
    check "SIG$signal: exit status $want (got $rc)" test "$rc" -eq "$want"
    check "SIG$signal: says nothing of the message was kept" grep -q "^tolvik-convert: stopped by SIG$signal after 0 of 2 messages; nothing of the message in progress was kept$" "$tmp/err"
    check "SIG$signal: summary printed" grep -q "^tolvik-convert: 0 converted, 0 failed, 0 mailboxes written$" "$tmp/err"
    check "SIG$signal: the mailbox holds its earlier record only" cmp -s "$mbox" "$tmp/before"
    check "SIG$signal: no lock file left" test ! -e "$mbox.lock"
    check "SIG$signal: a reader sees one whole message" test "$(subjects "$mbox")" = "first"
done

# SIGKILL: no handler runs. The next run cuts the unfinished record off and says so.
rm -rf "$out"
"$bin" -o "$out" "$src/first.eml" 2>/dev/null
before=$(stat -c %s "$mbox")
"$bin" -o "$out" "$src/big.eml" 2>/dev/null &
pid=$!
grows_past "$mbox" "$before" "$pid"
kill -s KILL "$pid"
wait "$pid" 2>/dev/null
check "SIGKILL ends the run" test $? -eq 137
check "SIGKILL leaves the lock file" test -e "$mbox.lock"
left=$(stat -c %s "$mbox")
check "SIGKILL leaves an unfinished record" test "$left" -gt "$before"
"$bin" -o "$out" "$src/next.eml" 2>"$tmp/err"
check "the next run succeeds" test $? -eq 0
check "the next run reports the cut" grep -q "^tolvik-convert: $mbox: removed an unfinished record of $((left - before)) bytes that an interrupted run had left at its end$" "$tmp/err"
check "a reader sees exactly the whole records" test "$(subjects "$mbox" | tr '\n' ' ')" = "first next "
check "no lock file left after the repair" test ! -e "$mbox.lock"

# A closed pipe on stderr does not end the run.
rm -rf "$out"
("$bin" -o "$out" "$tmp/missing.eml" "$src/first.eml" "$src/next.eml" 2>&1; echo $? >"$tmp/rc") | true
check "a closed pipe: the run ends normally (status 1 for the missing file)" test "$(cat "$tmp/rc")" -eq 1
check "a closed pipe: both messages converted" test "$(subjects "$mbox" | tr '\n' ' ')" = "first next "

# Two runs into one mailbox at once; the first fails part-way through an 80 MB record
# (a 64 MB size limit). A reader finds every record both runs converted, none torn or merged.
shared="$tmp/src/Shared"
a=()
b=()
for i in $(seq 1 300); do
    message "$shared/a$i.eml" "a$i"
    message "$shared/b$i.eml" "b$i"
    a+=("$shared/a$i.eml")
    b+=("$shared/b$i.eml")
done
message "$shared/failing.eml" failing 80000000
for i in 1 2 3; do
    message "$shared/bbig$i.eml" "bbig$i" 3000000
    b+=("$shared/bbig$i.eml")
done
a=("${a[@]:0:100}" "$shared/failing.eml" "${a[@]:100}")
rm -rf "$out"
(ulimit -f 65536; exec "$bin" -o "$out" "${a[@]}") 2>"$tmp/err-a" &
pid_a=$!
"$bin" -o "$out" "${b[@]}" 2>"$tmp/err-b" &
pid_b=$!
wait "$pid_a"
rc_a=$?
wait "$pid_b"
rc_b=$?
check "the failing run exits 1" test "$rc_a" -eq 1
check "the failing run names the size limit" grep -q "failing.eml: could not write the mailbox .*largest size" "$tmp/err-a"
check "the failing run converts the rest" grep -q "^tolvik-convert: 300 converted, 1 failed, 1 mailbox written$" "$tmp/err-a"
check "the other run exits 0" test "$rc_b" -eq 0
shared_mbox="$out$shared/Shared.mbox"
subjects "$shared_mbox" | sort >"$tmp/seen"
(for i in $(seq 1 300); do echo "a$i"; echo "b$i"; done; echo bbig1; echo bbig2; echo bbig3) | sort >"$tmp/want"
check "a reader finds every converted record once, and no other" cmp -s "$tmp/seen" "$tmp/want"
check "the large records are whole" python3 -c '
import mailbox, sys
found = 0
for message in mailbox.mbox(sys.argv[1], create=False):
    subject = message["Subject"]
    if subject.startswith("bbig"):
        source = open("%s/%s.eml" % (sys.argv[2], subject), "rb").read()
        body = source.split(b"\r\n\r\n", 1)[1]
        got = message.get_payload(decode=True)
        same = lambda text: text.replace(b"\r\n", b"\n").replace(b"\r", b"\n").rstrip(b"\n")
        if same(got) != same(body):
            sys.exit("%s differs from its source" % subject)
        found += 1
sys.exit(0 if found == 3 else "found %d large records" % found)' "$shared_mbox" "$shared"

# A folder the user may not write: the true reason, not "it does not exist".
if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" --version >/dev/null 2>&1; then
    mkdir -p "$tmp/locked"
    chmod 755 "$tmp" "$tmp/locked" "$tmp/src" "$src"
    chmod 644 "$src/first.eml"
    setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" -o "$tmp/locked/out/deeper" "$src/first.eml" 2>"$tmp/err"
    check "not allowed: exit 1" test $? -eq 1
    check "not allowed: permission denied" grep -q "^tolvik-convert: cannot create the output folder $tmp/locked/out/deeper: permission denied$" "$tmp/err"
else
    echo "skipped: the permission check needs setpriv and a tolvik-convert that user nobody can run"
fi

finish
