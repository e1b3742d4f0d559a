# Sourced by the scripted tests: a temporary folder $tmp, removed when the script ends, and
# check, which counts a check's outcome; the script ends with finish.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0

check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}

finish() {  # the counts, and the script's exit status
    echo "$passed passed, $failed failed"
    test "$failed" -eq 0
}
