#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds with warnings as errors, and runs every test.
# Arguments are passed to CMake (e.g. -DROWSIFTER_SANITIZE=ON).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" -DROWSIFTER_WERROR=ON "$@"
ctest --test-dir "${ROWSIFTER_BUILD_DIR:-$root/build}" --output-on-failure -j "$(nproc)"
