#!/usr/bin/env bash
# Renders the four wizard windows to PNG files so their layout can be looked at.
# Usage: scripts/render_windows.sh [FOLDER]   (default: build/windows)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
out="${1:-$build/windows}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target render_windows >/dev/null
if command -v xvfb-run >/dev/null 2>&1; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" "$build/wizard/render_windows" "$out"
else
    QT_QPA_PLATFORM=offscreen "$build/wizard/render_windows" "$out"
fi
