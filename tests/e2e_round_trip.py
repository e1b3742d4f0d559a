#!/usr/bin/env python3
"""The round trip (see roundtrip.py) of the project's own message files, tests/data/messages:
plain and multipart messages, encoded words, the sender or date in unusual places, and files
with a byte-order mark, a leading separator line, CR-only or LF-only line ends, NUL bytes, or
nothing at all.

    python3 tests/e2e_round_trip.py BIN_DIR SOURCE_ROOT"""
import os
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from roundtrip import round_trip  # noqa: E402

bin_dir, source_root = sys.argv[1], sys.argv[2]
sys.exit(round_trip(bin_dir, os.path.join(source_root, "tests", "data", "messages")))
