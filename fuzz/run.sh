#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS (default 60) on a copy of its seed
# corpus; fails on the first crash, leak or broken invariant. The targets run
# from the project's root with relative paths, as doc/building.md's command
# for a long run has them.
# Usage: run.sh BUILD_DIR TARGET...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$(cd "$1" && pwd)"; shift
seconds="${FUZZ_SECONDS:-60}"
cd "$root"
bin="$(realpath --relative-to=. "$bin")"
for t in "$@"; do
    name="${t#fuzz_}"
    mkdir -p "$bin/corpus-$name"
    echo "== $t for ${seconds}s"
    # Tcl keeps some memory to the end of the process: leaks are valgrind's job.
    status=0
    ASAN_OPTIONS=detect_leaks=0 "$bin/$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$bin/$t-" "$bin/corpus-$name" "fuzz/corpus/$name" >"$bin/$t.log" 2>&1 ||
        status=$?
    tail -n 25 "$bin/$t.log"
    # A seed corpus that could not be read leaves nothing to fuzz from.
    if [ "$status" -eq 0 ] && ! grep -Eq "[1-9][0-9]* files found in fuzz/corpus/$name" "$bin/$t.log"; then
        echo "$t did not read fuzz/corpus/$name"; status=1
    fi
    [ "$status" -eq 0 ] || { echo "$t failed with status $status"; exit "$status"; }
done
