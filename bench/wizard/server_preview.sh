#!/usr/bin/env bash
# The field page's preview of a server table: time to the first screen and the client's memory after
# scrolling to the last row, on a throwaway local cluster (the tests' cluster.sh), over its Unix socket.
# Prints the figures, judges nothing.
#
#   bench/wizard/server_preview.sh [ROWS]     (default 1000000 rows)
#
# Environment: ROWSIFTER_BUILD_DIR (default build/).
set -euo pipefail

rows="${1:-1000000}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" rowsifter-preview-bench >/dev/null

# shellcheck source=../../tests/server/cluster_env.sh
. "$root/tests/server/cluster_env.sh"

work="$(mktemp -d)"
trap 'cluster_stop; rm -rf "$work"' EXIT
cluster_start "$work"

echo "Making $rows rows on the server ..."
psql -c "CREATE TABLE small (id integer PRIMARY KEY, a text, b text, c integer)" \
     -c "INSERT INTO small SELECT i, 'name' || (i % 600), 'city' || (i % 10), i FROM generate_series(1, 10000) i" \
     -c "CREATE TABLE big (id integer PRIMARY KEY, a text, b text, city text, amount float8, created date, note text)" \
     -c "INSERT INTO big SELECT i, 'First' || (i % 1000), 'Last' || (i / 1000), 'City' || (i % 500), (i % 100000) / 100.0,
             DATE '2020-01-01' + (i % 1500), 'note ' || (i % 97) || ' for row ' || i FROM generate_series(1, $rows) i" \
     -c "VACUUM ANALYZE"

echo
echo "== The field page's preview of a server table (first screen, memory after scrolling to the end)"
QT_QPA_PLATFORM=offscreen "$build/bin/rowsifter-preview-bench" "$uri" small "$uri" big
