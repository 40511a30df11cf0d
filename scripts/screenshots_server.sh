#!/usr/bin/env bash
# Runs the real program under Xvfb through the whole road on a table of a PostgreSQL server (a throwaway
# local cluster, the tests' cluster.sh) and saves a picture of each page and of the result:
#
#   scripts/screenshots_server.sh [FOLDER]            (default: build/road-server)
#
# The address is typed into the path box; the program runs with settings of its own. Worked with the
# mouse and keyboard through xdotool, pictures taken with ImageMagick's import. Environment:
# ROWSIFTER_BUILD_DIR (default build/).
set -euo pipefail

if [ "${1:-}" = "--steps" ]; then
    # Inside Xvfb: the program started, and its steps (road_steps.sh lies beside this script).
    # shellcheck source=road_steps.sh
    . "$(dirname "$0")/road_steps.sh"

    # Database page: the address typed into the path box (in the frame at 120, 600), then "Next >".
    id=$(page)
    click "$id" $((120 + 2280)) $((600 + 300)) 4575 345
    xdotool type --delay 20 "$ROAD_URI"
    shot "$id" 1-database-page.png
    click "$id" 4080 2055 3840 405           # "Next >"

    # Table page: the first table (Customers) is selected; "Next >".
    id=$(page)
    shot "$id" 2-table-page.png
    click "$id" 3000 1720 2535 405

    # Field page with the preview; FirstName and LastName chosen.
    id=$(page)
    shot "$id" 3a-preview.png
    for field in FirstName LastName; do
        click "$id" 360 2820 2295 300
        xdotool type --delay 50 "$field"
        sleep 0.3
        click "$id" 2730 2820 420 405
    done
    shot "$id" 3-field-page.png
    click "$id" 3000 4920 2760 405

    # Output page; "Start Creating"; "Done."; the result.
    id=$(page)
    shot "$id" 4-output-page.png
    click "$id" 3000 1500 2760 405
    sleep 2
    import -window root "$out/5-done.png"
    echo "$out/5-done.png"
    xdotool key Return
    shot "$id" 6-result.png
    exit 0
fi

script="$(realpath "$0")"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
out="$(realpath -m "${1:-$build/road-server}")"
for tool in xvfb-run xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots_server.sh: $tool is needed (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
[ -x "$build/bin/rowsifter" ] || ninja -C "$build" rowsifter >/dev/null

# shellcheck source=../tests/server/cluster_env.sh
. "$root/tests/server/cluster_env.sh"

work="$(mktemp -d)"
chmod 0755 "$work"
trap 'cluster_stop; rm -rf "$work"' EXIT
cluster_start "$work"
psql -c 'CREATE TABLE "Customers" ("ID" integer PRIMARY KEY, "FirstName" text, "LastName" text, "City" text)' \
     -c "INSERT INTO \"Customers\" SELECT i, (ARRAY['Maria','Ana','Thomas','Hanna'])[1 + i % 4],
             (ARRAY['Anders','Trujillo','Hardy','Moos'])[1 + (i / 4) % 4], 'City ' || (i % 7)
         FROM generate_series(1, 50000) i"

cp "$build/bin/rowsifter" "$build/bin/HAND-M.CUR" "$work/"
mkdir -p "$work/config" "$out"
export XDG_CONFIG_HOME="$work/config"
export ROAD_WORK="$work" ROAD_OUT="$out" ROAD_PROGRAM="$work/rowsifter"
export ROAD_URI="$uri"
xvfb-run -a -s "-screen 0 1024x768x24" "$script" --steps
echo "Customers: $(psql -tA -c 'SELECT count(*) FROM "Customers"') rows; the new Customers2:" \
    "$(psql -tA -c 'SELECT count(*) FROM "Customers2"') rows (on the server)"
echo "remembered: $(grep -i '^Database' "$work/config/Brevanton/Rowsifter.conf" || true)"
