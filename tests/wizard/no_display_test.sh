#!/usr/bin/env bash
# Without a display (none named, or one that cannot be reached) the program says so in one sentence,
# names rowsifter-cli, and fails; no toolkit message shows. --version and --help need no display.
program="$1"
version="$2"
check() {
    local out status lines
    out="$("$@" 2>&1)"
    status=$?
    lines="$(printf '%s\n' "$out" | grep -vc 'XDG_RUNTIME_DIR')"
    if [ "$status" -eq 0 ]; then echo "exit status 0 without a display"; return 1; fi
    if [ "$lines" -ne 1 ]; then echo "expected one line, got: $out"; return 1; fi
    case "$out" in *rowsifter-cli*) ;; *) echo "rowsifter-cli not named: $out"; return 1 ;; esac
    case "$out" in *qt.qpa*|*xcb*|*plugin*) echo "a toolkit message leaked: $out"; return 1 ;; esac
}
check env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" || exit 1
check env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:7391 "$program" || exit 1
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version 2>&1)" || { echo "--version failed: $out"; exit 1; }
[ "$out" = "rowsifter $version" ] || { echo "--version printed: $out"; exit 1; }
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1)" || { echo "--help failed: $out"; exit 1; }
case "$out" in *--version*) ;; *) echo "--help printed: $out"; exit 1 ;; esac
