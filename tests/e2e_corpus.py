#!/usr/bin/env python3
"""The round trip (see roundtrip.py) of the shared corpus of real-world messages,
../shared/corpus beside the project root. Without it the test reports itself skipped (exit
status 77, which tests/CMakeLists.txt gives CTest as the skip code).

    python3 tests/e2e_corpus.py BIN_DIR SOURCE_ROOT"""
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from roundtrip import round_trip  # noqa: E402

SKIPPED = 77

bin_dir, source_root = sys.argv[1], sys.argv[2]
corpus = os.path.join(source_root, "..", "shared", "corpus")
if not os.path.isdir(corpus):
    print("SKIP: no shared corpus at ../shared/corpus beside the project root (%s); "
          "its real-world messages are not converted" % os.path.normpath(corpus))
    sys.exit(SKIPPED)
sys.exit(round_trip(bin_dir, corpus))
