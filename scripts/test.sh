#!/usr/bin/env bash
# Installs what building and testing need, builds Tolvik and runs every test: once in a normal
# build, once under AddressSanitizer and UndefinedBehaviorSanitizer, and each fuzz target for a
# bounded number of inputs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/install-deps.sh" --test
"$root/scripts/build.sh" "$root/build"
echo "== tests"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== tests under ASan+UBSan"
"$root/scripts/build.sh" "$root/build-asan" -DTOLVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
(cd "$root/build-asan" &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions="$root/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$jobs")

if [ -f "$root/fuzz/CMakeLists.txt" ]; then
    echo "== fuzzing (bounded)"
    CC=clang CXX=clang++ "$root/scripts/build.sh" "$root/build-fuzz" -DTOLVIK_FUZZ=ON
    (cd "$root/build-fuzz" && ctest --output-on-failure -L fuzz)
fi
echo "== all tests passed"
