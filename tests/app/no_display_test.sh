#!/usr/bin/env bash
# Without a display the program says so in one sentence, names rowsifter-cli, and fails.
program="$1"
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" 2>&1)"
status=$?
lines="$(printf '%s\n' "$out" | grep -vc 'XDG_RUNTIME_DIR')"
if [ "$status" -eq 0 ]; then echo "exit status 0 without a display"; exit 1; fi
if [ "$lines" -ne 1 ]; then echo "expected one line, got: $out"; exit 1; fi
case "$out" in *rowsifter-cli*) ;; *) echo "rowsifter-cli not named: $out"; exit 1 ;; esac
case "$out" in *qt.qpa*|*xcb*|*plugin*) echo "a toolkit message leaked: $out"; exit 1 ;; esac
exit 0
