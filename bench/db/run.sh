#!/usr/bin/env bash
# bench/db/run.sh [ROWS] [DELETES]: builds bench_db in build/ (or $ROWSIFTER_BUILD_DIR) and runs it.
set -euo pipefail; root="$(cd "$(dirname "$0")/../.." && pwd)"; build="${ROWSIFTER_BUILD_DIR:-$root/build}"; cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build "$build" --target bench_db >/dev/null && "$build/bin/bench_db" "$@"
