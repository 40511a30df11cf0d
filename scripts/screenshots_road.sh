#!/usr/bin/env bash
# Runs the real program under Xvfb through the whole road on the sample database and saves a picture of
# each page and of the result, so a person can look at them:
#
#   scripts/screenshots_road.sh [FOLDER]                (default: build/road)
#   scripts/screenshots_road.sh --installed [FOLDER]    (default: road/ in a new temporary folder)
#
# The built program runs from a copy of its folder (so the sample it changes is a copy) with settings of
# its own (so yours are untouched). The installed one ($ROWSIFTER_PROGRAM, default /usr/bin/rowsifter)
# runs with a home folder of its own ($ROAD_HOME, default a new temporary one), so the sample it works on
# is the user's copy that "Load Sample" makes there; afterwards the new table must be in that copy and
# the shipped sample unchanged. That mode installs nothing and builds nothing, so an ordinary user can
# run it. The program is worked with the mouse and keyboard through xdotool; the pictures are taken with
# ImageMagick's import. Environment: ROWSIFTER_BUILD_DIR (default build/).
set -euo pipefail

if [ "${1:-}" = "--steps" ]; then
    # Inside Xvfb: the program started, and its steps (road_steps.sh lies beside this script).
    # shellcheck source=road_steps.sh
    . "$(dirname "$0")/road_steps.sh"

    # Database page: load the sample, then "Next >".
    id=$(page)
    click "$id" 120 2055 3840 405            # "Load Sample/Example Database"
    shot "$id" 1-database-page.png
    click "$id" 4080 2055 3840 405           # "Next >"

    # Table page: the first table (Customers) is selected; "Next >".
    id=$(page)
    shot "$id" 2-table-page.png
    click "$id" 3000 1720 2535 405           # "Next >" (in the frame at 120, 120)

    # Field page: FirstName and LastName chosen by typing their names in the available list and ">".
    id=$(page)
    for field in FirstName LastName; do
        click "$id" 360 2820 2295 300         # the top of the available list
        xdotool type --delay 50 "$field"
        sleep 0.3
        click "$id" 2730 2820 420 405         # ">"
    done
    shot "$id" 3-field-page.png
    click "$id" 3000 4920 2760 405           # "Next >"

    # Output page: the proposed name; "Start Creating"; "Done." over the page; the result.
    id=$(page)
    shot "$id" 4-output-page.png
    click "$id" 3000 1500 2760 405           # "Start Creating"
    sleep 1.5
    import -window root "$out/5-done.png"
    echo "$out/5-done.png"
    xdotool key Return
    shot "$id" 6-result.png
    exit 0
fi

script="$(realpath "$0")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [ "${1:-}" = "--installed" ]; then
    program="${ROWSIFTER_PROGRAM:-/usr/bin/rowsifter}"
    out="$(realpath -m "${2:-$work/road}")"
    for tool in xvfb-run xdotool import sqlite3 "$program"; do
        command -v "$tool" >/dev/null ||
            { echo "screenshots_road.sh: $tool is needed (apt-get install xvfb xdotool imagemagick sqlite3)" >&2; exit 1; }
    done
    export HOME="${ROAD_HOME:-$work/home}"
    mkdir -p "$HOME"
    unset XDG_CONFIG_HOME XDG_DATA_HOME
    shipped="$(dirname "$(realpath "$program")")/../share/rowsifter/Samples/sample.mdb"
    sample="$HOME/.local/share/Rowsifter/Samples/sample.mdb"
else
    root="$(cd "$(dirname "$0")/.." && pwd)"
    build="${ROWSIFTER_BUILD_DIR:-$root/build}"
    out="$(realpath -m "${1:-$build/road}")"
    "$root/scripts/setup.sh" xdotool imagemagick
    for tool in xvfb-run xdotool import; do
        command -v "$tool" >/dev/null || { echo "screenshots_road.sh: $tool is needed (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
    done
    if [ ! -f "$build/build.ninja" ]; then
        cmake -S "$root" -B "$build" -G Ninja >/dev/null
    fi
    ninja -C "$build" rowsifter >/dev/null
    cp -r "$build/bin/rowsifter" "$build/bin/rowsifter-access-copy" "$build/bin/HAND-M.CUR" "$build/bin/Samples" "$work/"
    mkdir -p "$work/config"
    export XDG_CONFIG_HOME="$work/config"
    program="$work/rowsifter"
    sample="$work/Samples/sample.mdb"
fi

mkdir -p "$out"
export ROAD_WORK="$work" ROAD_OUT="$out" ROAD_PROGRAM="$program"
xvfb-run -a -s "-screen 0 1024x768x24" "$script" --steps

if [ -n "${shipped:-}" ]; then
    tables() { sqlite3 -readonly "$1" "SELECT group_concat(name, ' ') FROM sqlite_master WHERE type = 'table'"; }
    case " $(tables "$sample") " in
        *" Customers2 "*) ;;
        *) echo "screenshots_road.sh: no table Customers2 in $sample" >&2; exit 1 ;;
    esac
    case " $(tables "$shipped") " in
        *" Customers2 "*) echo "screenshots_road.sh: the shipped sample $shipped was changed" >&2; exit 1 ;;
    esac
fi
if command -v sqlite3 >/dev/null; then
    echo "Customers: $(sqlite3 "$sample" 'SELECT count(*) FROM Customers') rows;" \
        "the new Customers2: $(sqlite3 "$sample" 'SELECT count(*) FROM Customers2') rows (in $sample)"
fi
