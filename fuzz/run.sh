#!/usr/bin/env bash
# Runs each fuzz target for FUZZ_SECONDS (default 60) on a copy of its seed
# corpus; fails on the first crash, leak or broken invariant.
# Usage: run.sh BUILD_DIR TARGET...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="$(cd "$1" && pwd)"; shift
seconds="${FUZZ_SECONDS:-60}"
for t in "$@"; do
    name="${t#fuzz_}"
    work="$bin/corpus-$name"
    mkdir -p "$work"
    echo "== $t for ${seconds}s"
    # Tcl keeps some memory to the end of the process: leaks are valgrind's job.
    ASAN_OPTIONS=detect_leaks=0 "$bin/$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="$bin/$t-" "$work" "$here/corpus/$name" 2>&1 | tail -n 25
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || { echo "$t failed with status $status"; exit "$status"; }
done
