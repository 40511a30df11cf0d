#!/usr/bin/env bash
# End-to-end figures of rowsifter-cli against the one statement a database user would write instead.
#
#   bench/dedupe/options.sh [ROWS]        (default 1000000 rows)
#
# The cost of extra options (BENCH_OPTIONS) against the plain run; bench/dedupe/run.sh compares the plain
# run with the one SQL statement.
#
# Environment: ROWSIFTER_BUILD_DIR (default build/; rowsifter-cli is built there when missing),
# BENCH_SHAPE=id (default: the table has an auto-numbered ID column) or noid (no integer column, so the
# engine numbers the rows itself), BENCH_DIR (work folder; default a temporary one, removed afterwards).
#
# BENCH_OPTIONS: extra rowsifter-cli options (for example "--order-by amount:desc" or "--same-words"). The
# run with them is timed against the run without them, three times each, alternating, on the same file;
# the medians and their ratio are printed. BENCH_KEEP_ORDER: the ORDER BY (over t's columns) that picks
# the row the options keep of each group, for the check of the output (default rowid: the first row).
#
# The table has 8 columns; the key fields a and b repeat in 40% of the rows (every key value occurs once
# or twice, the repetition far from the first occurrence). Both outputs must hold the same rows.
set -euo pipefail

rows="${1:-1000000}"
shape="${BENCH_SHAPE:-id}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
cli="$build/bin/rowsifter-cli"

if [ ! -x "$cli" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    ninja -C "$build" rowsifter-cli >/dev/null
fi
# shellcheck source=../common.sh
. "$root/bench/common.sh"
bench_need sqlite3 /usr/bin/time

bench_work_folder
ours="$work/ours.db"
theirs="$work/theirs.db"
rm -f "$ours" "$theirs"

distinct=$((rows * 6 / 10))
case "$shape" in
    id) columns="id INTEGER PRIMARY KEY, a TEXT, b TEXT, city TEXT, amount REAL, created DATE, note TEXT, code TEXT" ;;
    noid) columns="a TEXT, b TEXT, city TEXT, amount REAL, created DATE, note TEXT, code TEXT, ref TEXT" ;;
    *) echo "run.sh: BENCH_SHAPE is id or noid" >&2; exit 2 ;;
esac
if [ "$shape" = id ]; then
    values="x, printf('First%04d', k % 1000), printf('Last%05d', k / 1000), printf('City%03d', x % 500),
            (x % 100000) / 100.0, date('2020-01-01', '+' || (x % 1500) || ' days'),
            printf('note %d for row %d', x % 97, x), printf('C%08X', (x * 2654435761) % 4294967296)"
else
    values="printf('First%04d', k % 1000), printf('Last%05d', k / 1000), printf('City%03d', x % 500),
            (x % 100000) / 100.0, date('2020-01-01', '+' || (x % 1500) || ' days'),
            printf('note %d for row %d', x % 97, x), printf('C%08X', (x * 2654435761) % 4294967296),
            printf('R%d', x)"
fi

echo "Making $rows rows ($shape) in $ours ..."
sqlite3 "$ours" >/dev/null <<SQL
PRAGMA journal_mode = DELETE;
CREATE TABLE t($columns);
BEGIN;
WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < $rows),
     keyed(x, k) AS (SELECT x, (x * 7919) % $distinct FROM n)
INSERT INTO t SELECT $values FROM keyed;
COMMIT;
SQL
cp "$ours" "$theirs"
sync
before_bytes=$(stat -c %s "$ours")

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }

median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

if [ -n "${BENCH_OPTIONS:-}" ]; then
    # shellcheck disable=SC2206
    extra=($BENCH_OPTIONS)
    plain=() with=()
    for round in 1 2 3; do
        for variant in plain with; do
            options=()
            [ "$variant" = with ] && options=("${extra[@]}")
            start=$(date +%s%N)
            "$cli" -q --replace --database "$ours" --table t --field a --field b --output o "${options[@]}" \
                </dev/null >/dev/null
            end=$(date +%s%N)
            took=$(seconds "$start" "$end")
            if [ "$variant" = with ]; then with+=("$took"); else plain+=("$took"); fi
        done
        echo "round $round: without ${plain[-1]} s, with ${with[-1]} s"
    done
    order="${BENCH_KEEP_ORDER:-rowid}"
    sqlite3 "$theirs" "CREATE TABLE o AS SELECT * FROM t WHERE rowid IN (SELECT r FROM (SELECT rowid AS r,
        row_number() OVER (PARTITION BY a, b ORDER BY $order) AS n FROM t) WHERE n = 1)"
    list="a, b, city, amount, created, note, code"
    [ "$shape" = id ] && list="id, $list" || list="$list, ref"
    sum_ours=$(sqlite3 "$ours" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
    sum_theirs=$(sqlite3 "$theirs" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
    echo
    echo "rows: $rows, shape: $shape, options: $BENCH_OPTIONS"
    if [ "$sum_ours" = "$sum_theirs" ]; then
        echo "output: same rows as sqlite3 keeping by ORDER BY $order"
    else
        echo "output: DIFFERS from sqlite3 keeping by ORDER BY $order"
    fi
    without=$(median3 "${plain[@]}")
    withopt=$(median3 "${with[@]}")
    awk -v a="$withopt" -v b="$without" -v o="$BENCH_OPTIONS" \
        'BEGIN { printf "median of 3: without %.2f s, with %s %.2f s, ratio %.2f (target at most 1.5)\n", b, o, a, a / b }'
    [ "$sum_ours" = "$sum_theirs" ]
    exit
fi

echo "rowsifter-cli ..."
start=$(date +%s%N)
/usr/bin/time -v -o "$work/time.txt" "$cli" --database "$ours" --table t --field a --field b --output o \
    </dev/null 2>"$work/cli-err.txt" | tee "$work/cli-out.txt"
end=$(date +%s%N)
ours_s=$(seconds "$start" "$end")
peak_kb=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")

echo "sqlite3, one statement ..."
start=$(date +%s%N)
sqlite3 "$theirs" "CREATE TABLE o AS SELECT * FROM t WHERE rowid IN (SELECT min(rowid) FROM t GROUP BY a, b)"
end=$(date +%s%N)
theirs_s=$(seconds "$start" "$end")

list="a, b, city, amount, created, note, code"
[ "$shape" = id ] && list="id, $list" || list="$list, ref"
sum_ours=$(sqlite3 "$ours" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
sum_theirs=$(sqlite3 "$theirs" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
count_ours=$(sqlite3 "$ours" "SELECT count(*) FROM o")
count_theirs=$(sqlite3 "$theirs" "SELECT count(*) FROM o")
after_bytes=$(stat -c %s "$ours")
output_bytes=$(sqlite3 "$ours" "SELECT sum(pgsize) FROM dbstat WHERE name = 'o'")

echo
echo "rows: $rows, kept: $count_ours (sqlite3: $count_theirs), shape: $shape"
if [ "$sum_ours" = "$sum_theirs" ]; then
    echo "outputs: same rows (md5 $sum_ours)"
else
    echo "outputs: DIFFER (rowsifter $sum_ours, sqlite3 $sum_theirs)"
fi
echo "rowsifter-cli: ${ours_s} s, peak memory $((peak_kb / 1024)) MB"
echo "sqlite3:       ${theirs_s} s"
target=1.0
[ "$rows" -ge 10000000 ] && target=0.6
awk -v a="$ours_s" -v b="$theirs_s" -v t="$target" \
    'BEGIN { printf "ratio:         %.2f (target at most %.1f; peak memory target under 400 MB)\n", a / b, t }'
awk -v b="$before_bytes" -v a="$after_bytes" -v o="$output_bytes" 'BEGIN {
    printf "file:          %.1f MB before, %.1f MB after, output table %.1f MB: after / (before + output) = %.3f (target at most 1.10)\n",
        b / 1048576, a / 1048576, o / 1048576, a / (b + o) }'
[ "$sum_ours" = "$sum_theirs" ]
