"""The round trip of a folder tree of message files: converts every file with tolvik-convert
and reads the mailboxes back with Python's mailbox module: one message per file, in order,
each equal to its source apart from line ends and the ">" in front of lines that begin with
"From ", under a well-formed separator line. Used by e2e_round_trip.py (the project's own
messages) and e2e_corpus.py (the shared corpus)."""
import mailbox
import os
import re
import shutil
import subprocess
import tempfile

# Files of a corpus folder that are not messages.
NOT_MESSAGES = ("README.md", "LICENSE")


def normal_lines(data: bytes) -> bytes:
    """Line ends made LF, trailing line ends dropped."""
    return data.replace(b"\r\n", b"\n").replace(b"\r", b"\n").rstrip(b"\n")


def expected_text(source: bytes) -> bytes:
    if source.startswith(b"From "):  # a separator kept by the program that saved it
        cut = re.search(rb"\r\n|\r|\n", source)
        source = source[cut.end():] if cut else b""
    lines = normal_lines(source).split(b"\n")
    return b"\n".join(b">" + line if line.startswith(b"From ") else line for line in lines)


def round_trip(bin_dir: str, corpus: str) -> int:
    """Runs the round trip on a copy of `corpus`, prints each failure and a summary line, and
    returns the exit status: 0 when every message came back."""
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "src")
        shutil.copytree(corpus, src)
        folders = {}
        for folder, _, names in os.walk(src):
            picked = sorted(n for n in names if n not in NOT_MESSAGES)
            if picked:
                folders[folder] = [os.path.join(folder, n) for n in picked]
        if not folders:
            print("FAIL: no message files in " + corpus)
            return 1
        files = [f for folder in sorted(folders) for f in folders[folder]]
        out = os.path.join(tmp, "out")
        result = subprocess.run([os.path.join(bin_dir, "tolvik-convert"), "-o", out] + files,
                                capture_output=True)
        if result.returncode != 0:
            print("FAIL: tolvik-convert failed (%d): %s"
                  % (result.returncode, result.stderr.decode(errors="replace")))
            return 1

        for folder, sources in folders.items():
            name = os.path.basename(folder)
            path = os.path.join(out, folder.lstrip("/"), name + ".mbox")
            box = mailbox.mbox(path, create=False)
            keys = list(box.keys())
            if len(keys) != len(sources):
                failures.append("%s: %d messages for %d files" % (path, len(keys), len(sources)))
                continue
            for key, source_path in zip(keys, sources):
                with open(source_path, "rb") as f:
                    source = f.read()
                got = normal_lines(box.get_bytes(key))
                if got != expected_text(source):
                    failures.append("%s: differs from its source" % source_path)
                separator = box.get_message(key).get_from().rstrip("\r")
                if not re.fullmatch(r"\S+ (Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} \d\d "
                                    r"\d\d:\d\d:\d\d \d{4}", separator):
                    failures.append("%s: bad separator line %r" % (source_path, separator))
        checked = sum(len(s) for s in folders.values())

    for failure in failures:
        print("FAIL: " + failure)
    print("%d passed, %d failed" % (checked - len(failures), len(failures)))
    return 1 if failures else 0
