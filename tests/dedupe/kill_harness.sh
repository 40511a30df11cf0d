#!/usr/bin/env bash
# Kills rowsifter-cli at random moments of its run and checks after each kill what a user must be able to
# rely on: the chosen table unchanged, the file intact, the output table either the old one (or absent when
# there was none) or the complete new one, and a rerun that finishes with the right rows.
#
#   kill_harness.sh ROWSIFTER_CLI [KILLS [ROWS]]     (defaults: 20 kills, 20000 rows; CTest runs it so)
#
# Half of the kills run with an output table already in the file, half without. Exit status 0 when every
# check held; the last line counts kills and failures.
set -uo pipefail
cli=${1:?usage: kill_harness.sh ROWSIFTER_CLI [KILLS [ROWS]]}
kills=${2:-20}
rows=${3:-20000}
command -v sqlite3 >/dev/null || { echo "kill_harness.sh: the sqlite3 tool is needed"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/rowsifter-kill-XXXXXX")
trap 'rm -rf "$work"' EXIT

# A table with repeats on (a, b) and rows in an order that is not the identifier's.
sqlite3 "$work/base.db" "
CREATE TABLE T(id INTEGER, a TEXT, b TEXT, c REAL);
WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < $rows)
INSERT INTO T SELECT (i * 7919) % ($rows * 2) + 1, 'a' || (i % 997), 'b' || (i % 3), i / 3.0 FROM s;"
source_dump() { sqlite3 "$1" "SELECT count(*), sum(id), group_concat(a || b || c, ',') FROM (SELECT * FROM T ORDER BY rowid);" | md5sum; }
table_dump() { sqlite3 "$1" "SELECT count(*) || ':' || coalesce(group_concat(id || a || b || c, ','), '') FROM (SELECT * FROM \"$2\" ORDER BY rowid);" 2>/dev/null | md5sum; }
has_table() { [ "$(sqlite3 "$1" "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '$2';")" = 1 ]; }

# The expected output, computed independently: of each (a, b) the row with the lowest id, in stored order.
cp "$work/base.db" "$work/expected.db"
sqlite3 "$work/expected.db" "CREATE TABLE Out AS SELECT * FROM T WHERE id IN (SELECT min(id) FROM T GROUP BY a, b) ORDER BY rowid;"
expected=$(table_dump "$work/expected.db" Out)
base_source=$(source_dump "$work/base.db")

# How long a whole run takes, so that kills spread over all of it.
cp "$work/base.db" "$work/timing.db"
start=$(date +%s%N)
"$cli" --database "$work/timing.db" --table T --field a --field b --output Out --replace >/dev/null 2>&1 </dev/null
span_ms=$(( ($(date +%s%N) - start) / 1000000 + 20 ))

failures=0
fail() { echo "kill $1: $2"; failures=$((failures + 1)); }
for ((k = 1; k <= kills; k++)); do
    db="$work/run.db"
    rm -f "$db" "$db-journal" "$db-wal" "$db-shm"
    cp "$work/base.db" "$db"
    existing=$((k % 2))
    [ "$existing" = 1 ] && sqlite3 "$db" "CREATE TABLE Out(z TEXT); INSERT INTO Out VALUES ('old');"
    old=$(table_dump "$db" Out)

    "$cli" --database "$db" --table T --field a --field b --output Out --replace >/dev/null 2>&1 </dev/null &
    pid=$!
    sleep "$(awk -v r=$RANDOM -v s=$span_ms 'BEGIN { printf "%.3f", r / 32768 * s / 1000 }')"
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null

    [ "$(sqlite3 "$db" 'PRAGMA integrity_check;')" = ok ] || fail "$k" "integrity_check failed"
    [ "$(source_dump "$db")" = "$base_source" ] || fail "$k" "the chosen table changed"
    now=$(table_dump "$db" Out)
    if has_table "$db" Out; then
        [ "$now" = "$old" ] || [ "$now" = "$expected" ] || fail "$k" "the output is neither the old table nor the complete new one"
    elif [ "$existing" = 1 ]; then
        fail "$k" "the old output table is gone with nothing in its place"
    fi
    if ! "$cli" --database "$db" --table T --field a --field b --output Out --replace >/dev/null 2>"$work/rerun.err" </dev/null; then
        fail "$k" "the rerun failed: $(head -c 300 "$work/rerun.err")"
    fi
    [ "$(table_dump "$db" Out)" = "$expected" ] || fail "$k" "the rerun's output is wrong"
    has_table "$db" TEMP_TABLE_CREATED_BY_QUORVANDELL && fail "$k" "the rerun left its work table"
done
echo "kill_harness: $kills kills over ${span_ms} ms runs of $rows rows, $failures failed checks"
[ "$failures" = 0 ]
