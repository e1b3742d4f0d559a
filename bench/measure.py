#!/usr/bin/env python3
"""Measures tolvik-convert and the window against the I/O floor on one archive.

    measure.py --bin BINDIR --archive FOLDER --work FOLDER [--runs N] [--big-size BYTES]

Measured, N times each in turns, and reported as the median of the runs:
  floor       every message file of a folder copied with cat into one file per folder
  rw-floor    the same with copy_floor, which reads the bytes into the program and writes
              them out (cat copies inside the kernel, which no converter can do)
  rw+sync     rw-floor, then a syncfs of the output (sync -f): the floor of a converter that
              saves its output to the disk before it ends, as tolvik-convert does
  cli         tolvik-convert -o OUT ARCHIVE
  window      the window's conversion run (window_bench convert): the list holds the same
              files in the same order; wall and CPU of the run alone, peak memory of the process
  add-folder  the window's Add Folder command on the archive (window_bench add-folder)
  find        find ARCHIVE -type f, the time the system takes to list the tree
then, for one message of --big-size bytes (generated, then deleted): floor and cli; and
for the small-message archive (--small, made by make_archive.py small: 100,000 messages of
about 200 bytes in 1,000 folders) floor, rw-floor and cli, where the cost per message and per
folder shows rather than the cost per byte.

Wall and CPU time (user + sys) are in seconds, peak memory (maximum resident set) in MB:
wall time from the clock, CPU time from getrusage of each child process, peak memory from
GNU time (/usr/bin/time).
The page cache cannot be dropped here, so it is warmed the same way for everything: the floor
runs once untimed first, which reads every message file (for the 1 GiB message, each command
runs once untimed first).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))

GOALS = """\
goals: cli <= 1.5 x rw-floor (wall) and < 64 MB; window <= 2 x cli (wall) and < 200 MB;
       add-folder <= 3 x find (wall); 1 GB message: cli <= 1.5 x floor and < 64 MB;
       small messages: cli <= 2 x rw-floor (wall)"""


def timed(command, env=None):
    """Runs a command; returns (wall, cpu, peak MB, stdout).

    Wall time is taken here; CPU time from getrusage of the child (with the processes it
    waited for). Peak memory comes from GNU time: a child forked from this Python process
    would count the parent's pages, which it holds until it execs, in its own peak."""
    stats = os.path.join(WORK, "time.txt")
    with open(os.path.join(WORK, "stdout.txt"), "w+") as out, \
            open(os.path.join(WORK, "stderr.txt"), "w+") as err:
        start = time.perf_counter()
        child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", stats] + command,
                                 stdout=out, stderr=err, env=env)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        out.seek(0)
        err.seek(0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("failed (%d): %s\n%s" % (os.waitstatus_to_exitcode(status),
                                              " ".join(command), err.read()[-2000:]))
        with open(stats) as f:
            peak_kb = int(f.read().split()[-1])
        return wall, usage.ru_utime + usage.ru_stime, peak_kb / 1024, out.read()


def phases(stdout):
    """The phase lines of window_bench: {name: (wall, cpu)}, and its peak memory in MB."""
    found = {}
    peak = 0.0
    for line in stdout.splitlines():
        words = line.split()
        if words[:1] == ["phase"]:
            found[words[1]] = (float(words[3]), float(words[5]), int(words[7]))
        elif words[:1] == ["peak_rss_kb"]:
            peak = int(words[1]) / 1024
    return found, peak


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(["sync"], check=True)  # earlier output is written back before the clock runs


def floor_command(sources, out):
    """A shell command that cats each folder's message files into one file per folder."""
    script = ('out="$1"; shift; i=0; for d in "$@"; do i=$((i+1)); '
              'cat "$d"/*.[eE][mM][lL] > "$out/$i.mbox"; done')
    return ["sh", "-c", script, "floor", out] + sources


def saved(command, out):
    """The command, then a syncfs of the output's file system (sync -f), as tolvik-convert
    saves what it wrote to the disk before it ends."""
    return ["sh", "-c", '"$@" && exec sync -f "$0"', out] + command


def message_folders(archive):
    folders = []
    for parent, _, files in os.walk(archive):
        if any(name.lower().endswith(".eml") for name in files):
            folders.append(parent)
    return sorted(folders)


def row(name, wall, cpu, peak, base=None, base_name=""):
    text = "%-12s wall %7.3f s   cpu %7.3f s   peak %6.1f MB" % (name, wall, cpu, peak)
    if base:
        text += "   %5.2f x %s wall, %5.2f x %s cpu" % (wall / base[0], base_name,
                                                     cpu / base[1] if base[1] else 0, base_name)
    print(text, flush=True)


def median_of(runs):
    return tuple(statistics.median(r[i] for r in runs) for i in range(3))


COPIES = ("floor", "rw-floor", "rw-floor+sync", "cli")


def copy_round(results, folders, source, out, convert, copy_floor):
    """One timed run each of floor, rw-floor, rw-floor+sync and cli, added to results."""
    for name, command in (("floor", floor_command(folders, out)),
                          ("rw-floor", [copy_floor, out] + folders),
                          ("rw-floor+sync", saved([copy_floor, out] + folders, out)),
                          ("cli", [convert, "-o", out, source])):
        fresh(out)
        results[name].append(timed(command)[:3])


def print_copies(results):
    """The medians of floor, rw-floor, cli and rw+sync, with cli's ratios to each floor;
    returns the medians of floor, rw-floor and cli."""
    floor = median_of(results["floor"])
    rw_floor = median_of(results["rw-floor"])
    rw_sync = median_of(results["rw-floor+sync"])
    cli = median_of(results["cli"])
    row("floor", *floor)
    row("rw-floor", *rw_floor, base=floor, base_name="floor")
    row("rw+sync", *rw_sync, base=rw_floor, base_name="rw-floor")
    row("cli", *cli, base=floor, base_name="floor")
    row("", *cli, base=rw_floor, base_name="rw-floor")
    row("", *cli, base=rw_sync, base_name="rw+sync")
    return floor, rw_floor, cli


def measure_small(archive, convert, copy_floor, runs):
    """floor, rw-floor and cli on the small-message archive; prints and returns the runs."""
    folders = message_folders(archive)
    count = sum(len(os.listdir(d)) for d in folders)
    print("small messages: %s, %d messages in %d folders; %d runs each, medians"
          % (archive, count, len(folders), runs), flush=True)
    out = os.path.join(WORK, "small-out")
    fresh(out)
    timed(floor_command(folders, out))  # warms the page cache
    results = {name: [] for name in COPIES}
    for _ in range(runs):
        copy_round(results, folders, archive, out, convert, copy_floor)
    shutil.rmtree(out, ignore_errors=True)
    print_copies(results)
    print(flush=True)
    return results


def main():
    global WORK
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--archive", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--big-size", type=int, default=1 << 30)
    parser.add_argument("--skip-big", action="store_true")
    parser.add_argument("--small", help="the small-message archive (make_archive.py small)")
    parser.add_argument("--only-small", action="store_true",
                        help="measure the small-message archive alone")
    args = parser.parse_args()
    WORK = os.path.abspath(args.work)
    os.makedirs(WORK, exist_ok=True)
    archive = os.path.abspath(args.archive)
    convert = os.path.join(args.bin, "tolvik-convert")
    window = os.path.join(args.bin, "window_bench")
    copy_floor = os.path.join(args.bin, "copy_floor")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    small_results = {}
    if args.small:
        small_results = measure_small(os.path.abspath(args.small), convert, copy_floor,
                                      args.runs)
    if args.only_small:
        return

    folders = message_folders(archive)
    count = sum(1 for d in folders for n in os.listdir(d) if n.lower().endswith(".eml"))
    size = sum(os.path.getsize(os.path.join(d, n)) for d in folders for n in os.listdir(d)
               if n.lower().endswith(".eml"))
    print("archive: %s, %d messages in %d folders, %.0f MB; %d runs each, medians"
          % (archive, count, len(folders), size / 1e6, args.runs), flush=True)

    out = os.path.join(WORK, "out")
    fresh(out)
    timed(floor_command(folders, out))  # warms the page cache

    results = {name: [] for name in COPIES + ("window", "add-folder", "find")}
    window_list = []
    for _ in range(args.runs):
        copy_round(results, folders, archive, out, convert, copy_floor)
        fresh(out)
        wall, cpu, peak, stdout = timed([window, "convert", archive, out], env)
        steps, _ = phases(stdout)
        if steps["convert"][2] != count:
            sys.exit("the window listed %d files, not %d" % (steps["convert"][2], count))
        results["window"].append((steps["convert"][0], steps["convert"][1], peak))
        window_list.append(steps["fill-list"])
        wall, cpu, peak, stdout = timed([window, "add-folder", archive], env)
        steps, _ = phases(stdout)
        if steps["add-folder"][2] != count:
            sys.exit("Add Folder listed %d files, not %d" % (steps["add-folder"][2], count))
        results["add-folder"].append((steps["add-folder"][0], steps["add-folder"][1], peak))
        results["find"].append(timed(["find", archive, "-type", "f"])[:3])
    shutil.rmtree(out, ignore_errors=True)

    print()
    floor, rw_floor, cli = print_copies(results)
    win = median_of(results["window"])
    row("window", *win, base=cli, base_name="cli")
    print("%-12s (filling its list beforehand: wall %.3f s, cpu %.3f s)"
          % ("", statistics.median(w[0] for w in window_list),
             statistics.median(w[1] for w in window_list)))
    find = median_of(results["find"])
    row("add-folder", *median_of(results["add-folder"]), base=find, base_name="find")
    row("find", *find)

    big_results = {}
    if not args.skip_big:
        big_folder = os.path.join(WORK, "big", "Big")
        big = os.path.join(big_folder, "big.eml")
        subprocess.run([sys.executable, os.path.join(HERE, "make_archive.py"), "big", big,
                        "--size", str(args.big_size)], check=True, stdout=subprocess.DEVNULL)
        big_out = os.path.join(WORK, "big-out")
        # Right after the gigabyte is written the kernel is still busy with it (write-back,
        # reclaim), which makes the first runs several times slower: one untimed run of each.
        for command in (floor_command([big_folder], big_out), [copy_floor, big_out, big_folder],
                        [convert, "-o", big_out, big]):
            fresh(big_out)
            timed(command)
        big_results = {name: [] for name in COPIES}
        for _ in range(args.runs):
            copy_round(big_results, [big_folder], big, big_out, convert, copy_floor)
        shutil.rmtree(os.path.join(WORK, "big"), ignore_errors=True)
        shutil.rmtree(big_out, ignore_errors=True)
        print("\none message of %.0f MB:" % (args.big_size / 1e6))
        print_copies(big_results)

    print("\nall runs (wall, cpu, peak MB):")
    for name, runs in (list(results.items()) + [("1GB " + k, v) for k, v in big_results.items()]
                       + [("small " + k, v) for k, v in small_results.items()]):
        print("  %-14s %s" % (name, "  ".join("%.3f/%.3f/%.0f" % r for r in runs)))
    print("\n" + GOALS)
    checks = [("cli <= 1.5 x rw-floor", cli[0] <= 1.5 * rw_floor[0]),
              ("cli < 64 MB", cli[2] < 64),
              ("window <= 2 x cli", win[0] <= 2 * cli[0]), ("window < 200 MB", win[2] < 200),
              ("add-folder <= 3 x find",
               median_of(results["add-folder"])[0] <= 3 * find[0])]
    if big_results:
        big_cli = median_of(big_results["cli"])
        big_floor = median_of(big_results["floor"])
        checks += [("1 GB: cli <= 1.5 x floor", big_cli[0] <= 1.5 * big_floor[0]),
                   ("1 GB: cli < 64 MB", big_cli[2] < 64)]
    if small_results:
        checks += [("small: cli <= 2 x rw-floor", median_of(small_results["cli"])[0] <=
                    2 * median_of(small_results["rw-floor"])[0])]
    for name, met in checks:
        print("  %-28s %s" % (name, "met" if met else "MISSED"))


if __name__ == "__main__":
    main()
