#!/usr/bin/env bash
# Builds tolvik-convert and the window benchmark (Release, in build-bench), writes the
# benchmark archive once (bench/out/archive, about 450 MB) and measures: see bench/README.md.
#   bench/run.sh [measure.py options, e.g. --runs 2 or --skip-big]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TOLVIK_BENCH_BUILD:-$root/build-bench}
out=${TOLVIK_BENCH_OUT:-$root/bench/out}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target tolvik-convert window_bench copy_floor
python3 "$root/bench/make_archive.py" archive "$out/archive"
python3 "$root/bench/make_archive.py" small "$out/small"
python3 "$root/bench/measure.py" --bin "$build/bin" --archive "$out/archive" --small "$out/small" \
    --work "$out/work" "$@"
