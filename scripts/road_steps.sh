# Sourced by the screenshot scripts inside Xvfb: starts the program ($ROAD_PROGRAM, its output in
# $ROAD_WORK/program.log, stopped when the script ends) and gives the steps that work it. Places are the
# pages' designed ones, in twips from each window's top left (15 twips to a pixel); pictures go to
# $ROAD_OUT.
# shellcheck shell=bash
work="$ROAD_WORK"
out="$ROAD_OUT"

QT_QPA_PLATFORM=xcb "$ROAD_PROGRAM" >"$work/program.log" 2>&1 &
program=$!
stop() { kill "$program" 2>/dev/null || true; }
trap stop EXIT

# The one page showing now (the pages share their title; hidden ones are not viewable).
page() {
    for _ in $(seq 50); do
        local id
        id=$(xdotool search --onlyvisible --name '^Rowsifter$' 2>/dev/null | tail -1 || true)
        if [ -n "$id" ]; then echo "$id"; return; fi
        sleep 0.2
    done
    echo "$(basename "$0"): no window of the program is showing; it said:" >&2
    cat "$work/program.log" >&2
    exit 1
}
# Clicks the middle of a control: x y width height in twips from the window's top left.
click() {
    local id=$1 x=$2 y=$3 w=$4 h=$5
    xdotool mousemove --window "$id" $(((x + w / 2) / 15)) $(((y + h / 2) / 15)) click 1
    sleep 0.5
}
shot() {
    sleep 0.7
    import -window "$1" "$out/$2"
    echo "$out/$2"
}
