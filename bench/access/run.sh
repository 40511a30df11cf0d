#!/usr/bin/env bash
# bench/access/run.sh [ACCESS-FILE] [ROUNDS] [PASSWORD]: builds bench_access_copy in build/ (or $ROWSIFTER_BUILD_DIR) and runs it.
set -euo pipefail; root="$(cd "$(dirname "$0")/../.." && pwd)"; build="${ROWSIFTER_BUILD_DIR:-$root/build}"; cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null && cmake --build "$build" --target bench_access_copy >/dev/null && "$build/bin/bench_access_copy" "$@"
