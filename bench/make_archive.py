#!/usr/bin/env python3
"""Writes a deterministic archive of saved mail messages for the benchmarks.

    make_archive.py archive FOLDER [--messages N] [--seed S]
        About ten mail folders with N messages (default 20,000, about 450 MB) below
        FOLDER/Mail: plain and multipart messages with base64 attachments, lines ending in
        CR LF, LF or a lone CR, "From " lines in bodies, separator lines left on top of some
        files, and a few messages of several megabytes.
    make_archive.py big FILE [--size BYTES]
        One message of BYTES (default 1 GiB): a short header block and a base64 body.
    make_archive.py small FOLDER [--messages N] [--folders F]
        N small messages (default 100,000, about 200 bytes each) spread evenly over F
        folders (default 1,000: ten folders of a hundred each) below FOLDER/Mail, as a
        mailbox of many short notes is saved: the cost per message and per folder, not per
        byte.

The same arguments always give the same bytes. An archive that is already complete (its
stamp file matches the arguments) is left as it is.
"""
import argparse
import base64
import os
import random
import sys

FOLDERS = [
    "Inbox",
    "Sent Items",
    "Drafts",
    "Archive 2009",
    "Archive 2010",
    "Lists/dev",
    "Lists/announce",
    "Projects/Tolvik",
    "Receipts",
    "Travel",
]
# Share of the messages in each folder (Inbox and the archives are the large ones).
WEIGHTS = [5, 2, 0.5, 3, 3, 2, 1, 1.5, 1, 1]

WORDS = (
    "the of and to in is that for it as was with be by on not he this are or his from at "
    "which but have an they you were her all she there would their we him been has when who "
    "will more no if out so said what up its about into than them can only other new some "
    "could time these two may then do first any my now such like our over man me even most "
    "made after also did many before must through back years where much your way well down "
    "should because each just those people how too little state good very make world still "
    "own see men work long get here between both life being under never day same another "
    "know while last might us great old year off come since against go came right used take "
    "mailbox message folder archive import export invoice meeting travel report release"
).split()
NAMES = ["ann", "bob", "carla", "dmitri", "eve", "farid", "gita", "hans", "ines", "jun",
         "kofi", "lena", "mateo", "nora", "olaf", "priya", "quinn", "rosa", "sven", "tariq"]
DOMAINS = ["example.org", "example.com", "mail.example.net", "lists.example.org"]
DAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


class Pools:
    """Text and base64 lines made once and sliced, so that 450 MB take seconds to write."""

    def __init__(self, rng):
        self.text_lines = []
        for _ in range(4000):
            words = [rng.choice(WORDS) for _ in range(rng.randint(3, 14))]
            self.text_lines.append(" ".join(words))
        raw = rng.randbytes(12 << 20)
        encoded = base64.b64encode(raw).decode("ascii")
        self.b64 = "\n".join(encoded[i:i + 76] for i in range(0, len(encoded), 76)) + "\n"
        self.b64_line = 77  # bytes per line with its LF

    def text(self, rng, size):
        out = []
        used = 0
        while used < size:
            roll = rng.random()
            if roll < 0.03:
                line = "From " + rng.choice(self.text_lines)  # must be quoted in the mailbox
            elif roll < 0.04:
                line = ">From " + rng.choice(self.text_lines)
            elif roll < 0.10:
                line = ""
            else:
                line = rng.choice(self.text_lines)
            out.append(line)
            used += len(line) + 1
        return "\n".join(out) + "\n"

    def base64(self, rng, size):
        lines = max(1, size // self.b64_line)
        total = len(self.b64) // self.b64_line
        out = []
        while lines > 0:
            take = min(lines, total)
            start = rng.randrange(0, total - take + 1) * self.b64_line
            out.append(self.b64[start:start + take * self.b64_line])
            lines -= take
        return "".join(out)


def address(rng):
    return "%s.%s@%s" % (rng.choice(NAMES), rng.choice(NAMES), rng.choice(DOMAINS))


def date_text(rng):
    year = rng.randint(2003, 2012)
    month = rng.randint(1, 12)
    day = rng.randint(1, 28)
    return "%s, %d %s %d %02d:%02d:%02d %+05d" % (
        rng.choice(DAYS), day, MONTHS[month - 1], year, rng.randint(0, 23), rng.randint(0, 59),
        rng.randint(0, 59), rng.choice([0, 100, -500, 530, -800, 900]))


def headers(rng, number, subject_extra=""):
    sender = address(rng)
    lines = []
    if rng.random() < 0.02:
        lines.append("From %s Mon Jan  1 00:00:00 2001" % sender)  # left by a mail program
    for hop in range(rng.randint(1, 4)):
        lines.append("Received: from relay%d.%s (relay%d.%s [192.0.2.%d])" % (
            hop, rng.choice(DOMAINS), hop, rng.choice(DOMAINS), rng.randint(1, 254)))
        lines.append("\tby mx.%s with ESMTP id %08X; %s" % (
            rng.choice(DOMAINS), rng.getrandbits(32), date_text(rng)))
    lines.append("From: %s <%s>" % (rng.choice(NAMES).title(), sender))
    lines.append("To: %s" % address(rng))
    if rng.random() < 0.95:
        lines.append("Date: " + date_text(rng))
    lines.append("Subject: message %d %s%s" % (number, rng.choice(WORDS), subject_extra))
    lines.append("Message-ID: <%d.%08x@%s>" % (number, rng.getrandbits(32), rng.choice(DOMAINS)))
    lines.append("MIME-Version: 1.0")
    return "\n".join(lines) + "\n"


def message(rng, pools, number, size):
    head = headers(rng, number)
    if size < 12000 or rng.random() < 0.15:
        return head + "Content-Type: text/plain; charset=us-ascii\n\n" + pools.text(rng, size)
    boundary = "=_boundary_%d_%08x" % (number, rng.getrandbits(32))
    text_size = rng.randint(500, 4000)
    parts = [head, 'Content-Type: multipart/mixed; boundary="%s"\n\n' % boundary,
             "This is a multi-part message in MIME format.\n\n--%s\n" % boundary,
             "Content-Type: text/plain; charset=us-ascii\n\n", pools.text(rng, text_size)]
    attachments = 1 if size < 200000 else rng.randint(1, 3)
    each = max(1000, (size - text_size) // attachments)
    for index in range(attachments):
        parts.append("\n--%s\nContent-Type: application/octet-stream; name=\"file%d.bin\"\n"
                     "Content-Transfer-Encoding: base64\n"
                     "Content-Disposition: attachment; filename=\"file%d.bin\"\n\n"
                     % (boundary, index, index))
        parts.append(pools.base64(rng, each))
    parts.append("\n--%s--\n" % boundary)
    return "".join(parts)


def with_line_ends(text, rng):
    roll = rng.random()
    if roll < 0.70:
        return text.replace("\n", "\r\n")
    if roll < 0.95:
        return text
    return text.replace("\n", "\r")


def is_complete(root, stamp):
    """True when the archive at root was completed for these arguments (its stamp); leaves
    the program when root holds anything else."""
    path = os.path.join(root, ".complete")
    if os.path.exists(path) and open(path).read() == stamp:
        print("archive %s is complete" % root)
        return True
    if os.path.exists(root):
        sys.exit("%s exists but is not a complete archive of these arguments; remove it first"
                 % root)
    return False


def mark_complete(root, stamp):
    with open(os.path.join(root, ".complete"), "w") as out:
        out.write(stamp)


def make_archive(root, count, seed):
    stamp = "messages=%d seed=%d v1\n" % (count, seed)
    if is_complete(root, stamp):
        return
    rng = random.Random(seed)
    pools = Pools(rng)
    folders = [os.path.join(root, "Mail", name) for name in FOLDERS]
    for folder in folders:
        os.makedirs(folder)
    total_weight = sum(WEIGHTS)
    # A few messages of several megabytes, at fixed places in the run.
    big = set(rng.sample(range(count), 12))
    total = 0
    for number in range(count):
        pick = rng.random() * total_weight
        folder_index = 0
        while pick >= WEIGHTS[folder_index]:
            pick -= WEIGHTS[folder_index]
            folder_index += 1
        if number in big:
            size = rng.randint(2 << 20, 7 << 20)
        elif rng.random() < 0.45:
            size = rng.randint(10000, 62000)
        else:
            size = rng.randint(1500, 8000)
        text = with_line_ends(message(rng, pools, number, size), rng)
        name = "msg-%05d.%s" % (number, "EML" if number % 97 == 0 else "eml")
        data = text.encode("ascii")
        with open(os.path.join(folders[folder_index], name), "wb") as out:
            out.write(data)
        total += len(data)
        if number % 2000 == 1999:
            print("  %d messages, %.0f MB" % (number + 1, total / 1e6), flush=True)
    mark_complete(root, stamp)
    print("archive %s: %d messages, %.0f MB" % (root, count, total / 1e6))


def make_big(path, size, seed):
    rng = random.Random(seed)
    pools = Pools(rng)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    head = (headers(rng, 0, " (one large attachment)") +
            'Content-Type: multipart/mixed; boundary="big"\n\n--big\n'
            "Content-Type: text/plain\n\n" + pools.text(rng, 2000) +
            "\n--big\nContent-Type: application/octet-stream\n"
            "Content-Transfer-Encoding: base64\n\n").replace("\n", "\r\n").encode("ascii")
    block = pools.b64.replace("\n", "\r\n").encode("ascii")
    tail = b"\r\n--big--\r\n"
    with open(path, "wb") as out:
        out.write(head)
        left = size - len(head) - len(tail)
        while left > 0:
            piece = block[:left]
            out.write(piece)
            left -= len(piece)
        out.write(tail)
    print("message %s: %.0f MB" % (path, os.path.getsize(path) / 1e6))


def make_small(root, count, folder_count, seed):
    stamp = "small messages=%d folders=%d seed=%d v1\n" % (count, folder_count, seed)
    if is_complete(root, stamp):
        return
    rng = random.Random(seed)
    tops = max(1, folder_count // 100)
    folders = [os.path.join(root, "Mail", "Box %02d" % (index % tops), "Folder %03d" % index)
               for index in range(folder_count)]
    for folder in folders:
        os.makedirs(folder)
    total = 0
    for number in range(count):
        words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(10, 22)))
        text = ("From: %s\nDate: %s\nSubject: note %d\n\n%s\n"
                % (address(rng), date_text(rng), number, words)).replace("\n", "\r\n")
        folder = folders[number * folder_count // count]
        data = text.encode("ascii")
        with open(os.path.join(folder, "note-%06d.eml" % number), "wb") as out:
            out.write(data)
        total += len(data)
    mark_complete(root, stamp)
    print("archive %s: %d messages in %d folders, %.1f MB"
          % (root, count, folder_count, total / 1e6))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="what", required=True)
    archive = sub.add_parser("archive")
    archive.add_argument("folder")
    archive.add_argument("--messages", type=int, default=20000)
    archive.add_argument("--seed", type=int, default=20100305)
    big = sub.add_parser("big")
    big.add_argument("file")
    big.add_argument("--size", type=int, default=1 << 30)
    big.add_argument("--seed", type=int, default=1)
    small = sub.add_parser("small")
    small.add_argument("folder")
    small.add_argument("--messages", type=int, default=100000)
    small.add_argument("--folders", type=int, default=1000)
    small.add_argument("--seed", type=int, default=2001)
    args = parser.parse_args()
    if args.what == "archive":
        make_archive(args.folder, args.messages, args.seed)
    elif args.what == "small":
        make_small(args.folder, args.messages, args.folders, args.seed)
    else:
        make_big(args.file, args.size, args.seed)


if __name__ == "__main__":
    main()
