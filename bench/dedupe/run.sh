#!/usr/bin/env bash
# End-to-end figures of rowsifter-cli against the one statement a database user would write instead.
#
#   bench/dedupe/run.sh [ROWS]            (default 1000000 rows; 10000000 for the large setting)
#
# or, with BENCH_OPTIONS set, the cost of extra options against the plain run (below).
#
# Environment:
#   ROWSIFTER_BUILD_DIR  default build/; rowsifter-cli is built there when missing
#   BENCH_SHAPE          id (default: the table has an auto-numbered ID column), noid (no integer column,
#                        so the engine numbers the rows itself) or distinct8m (the ID shape with two text
#                        keys of 8,000,000 distinct values, most of them seen once)
#   BENCH_ENCRYPTED      1: the file is encrypted, and the statement is run by sqlcipher on a copy of it
#   BENCH_ROUNDS         rounds, each on fresh copies, ours then theirs (default 3 below 10M rows, else 1);
#                        the ratio printed is the median of the rounds' ratios, of the elapsed times and of
#                        the processor times (user and system; steadier on a machine shared with other work)
#   BENCH_DIR            work folder; default a temporary one, removed afterwards
#   BENCH_OPTIONS        extra rowsifter-cli options (for example "--order-by amount:desc" or "--same-words"):
#                        instead of the comparison with the statement, the run with them is timed against
#                        the run without them, three times each, alternating, on fresh copies of the same
#                        file; the medians and their ratio are printed
#   BENCH_KEEP_ORDER     with BENCH_OPTIONS: the ORDER BY (over t's columns) that picks the row the options
#                        keep of each group, for the check of the output (default rowid: the first row); for
#                        example "amount DESC NULLS LAST, rowid" for --order-by amount:desc
#
# The table has 8 columns; in the id and noid shapes the key fields a and b repeat in 40% of the rows
# (every key value occurs once or twice, the repetition far from the first occurrence). Both outputs must
# hold the same rows.
set -euo pipefail

rows="${1:-1000000}"
shape="${BENCH_SHAPE:-id}"
encrypted="${BENCH_ENCRYPTED:-0}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
cli="$build/bin/rowsifter-cli"
if [ "$rows" -ge 10000000 ]; then rounds="${BENCH_ROUNDS:-1}"; else rounds="${BENCH_ROUNDS:-3}"; fi

if [ ! -x "$cli" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    ninja -C "$build" rowsifter-cli >/dev/null
fi
# shellcheck source=../common.sh
. "$root/bench/common.sh"
bench_need sqlite3 /usr/bin/time
password="bench-password"
if [ "$encrypted" = 1 ]; then
    bench_need sqlcipher
    export ROWSIFTER_PASSWORD="$password"
fi

# SQL on a file of this run: sqlcipher with the key for an encrypted one, sqlite3 otherwise.
sql() {
    local file="$1"
    shift
    if [ "$encrypted" = 1 ]; then
        sqlcipher -cmd "PRAGMA key = '$password';" "$file" "$@" | sed '/^ok$/d'
    else
        sqlite3 "$file" "$@"
    fi
}

export -f sql # for the timed statement below
export encrypted password

bench_work_folder
original="$work/original.db"
ours="$work/ours.db"
theirs="$work/theirs.db"
rm -f "$original" "$ours" "$theirs"

distinct=$((rows * 6 / 10))
case "$shape" in
    id | distinct8m) columns="id INTEGER PRIMARY KEY, a TEXT, b TEXT, city TEXT, amount REAL, created DATE, note TEXT, code TEXT" ;;
    noid) columns="a TEXT, b TEXT, city TEXT, amount REAL, created DATE, note TEXT, code TEXT, ref TEXT" ;;
    *) echo "run.sh: BENCH_SHAPE is id, noid or distinct8m" >&2; exit 2 ;;
esac
rest="printf('City%03d', x % 500), (x % 100000) / 100.0, date('2020-01-01', '+' || (x % 1500) || ' days'),
      printf('note %d for row %d', x % 97, x), printf('C%08X', (x * 2654435761) % 4294967296)"
case "$shape" in
    id) values="x, printf('First%04d', k % 1000), printf('Last%05d', k / 1000), $rest" ;;
    noid) values="printf('First%04d', k % 1000), printf('Last%05d', k / 1000), $rest, printf('R%d', x)" ;;
    distinct8m) values="x, 'L' || ((x * 7919) % 8000000), 'City' || ((x * 7919) % 8000000 % 500), $rest" ;;
esac

echo "Making $rows rows ($shape$([ "$encrypted" = 1 ] && echo ", encrypted")) in $original ..."
sql "$original" >/dev/null <<SQL
PRAGMA journal_mode = DELETE;
CREATE TABLE t($columns);
BEGIN;
WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < $rows),
     keyed(x, k) AS (SELECT x, (x * 7919) % $distinct FROM n)
INSERT INTO t SELECT $values FROM keyed;
COMMIT;
SQL
before_bytes=$(stat -c %s "$original")

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }
# User and system time from a report of /usr/bin/time -v: less disturbed than the elapsed time by other
# work on a shared machine.
cpu_seconds() { awk -F: '/User time|System time/ { t += $2 } END { printf "%.2f", t }' "$1"; }
list="a, b, city, amount, created, note, code"
[ "$shape" = noid ] && list="$list, ref" || list="id, $list"

if [ -n "${BENCH_OPTIONS:-}" ]; then
    # shellcheck disable=SC2206
    extra=($BENCH_OPTIONS)
    median3() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
    plain=() with=()
    for round in 1 2 3; do
        for variant in plain with; do
            options=()
            [ "$variant" = with ] && options=("${extra[@]}")
            cp "$original" "$ours"
            sync
            start=$(date +%s%N)
            "$cli" -q --database "$ours" --table t --field a --field b --output o "${options[@]}" </dev/null >/dev/null
            end=$(date +%s%N)
            took=$(seconds "$start" "$end")
            if [ "$variant" = with ]; then with+=("$took"); else plain+=("$took"); fi
        done
        echo "round $round: without ${plain[-1]} s, with ${with[-1]} s"
    done
    order="${BENCH_KEEP_ORDER:-rowid}"
    cp "$original" "$theirs"
    sql "$theirs" "CREATE TABLE o AS SELECT * FROM t WHERE rowid IN (SELECT r FROM (SELECT rowid AS r,
        row_number() OVER (PARTITION BY a, b ORDER BY $order) AS n FROM t) WHERE n = 1)" >/dev/null
    sum_ours=$(sql "$ours" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
    sum_theirs=$(sql "$theirs" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
    echo
    echo "rows: $rows, shape: $shape$([ "$encrypted" = 1 ] && echo ", encrypted"), options: $BENCH_OPTIONS"
    if [ "$sum_ours" = "$sum_theirs" ]; then
        echo "output: same rows as the statement keeping by ORDER BY $order"
    else
        echo "output: DIFFERS from the statement keeping by ORDER BY $order"
    fi
    without=$(median3 "${plain[@]}")
    withopt=$(median3 "${with[@]}")
    awk -v a="$withopt" -v b="$without" -v o="$BENCH_OPTIONS" \
        'BEGIN { printf "median of 3: without %.2f s, with %s %.2f s, ratio %.2f (target at most 1.5)\n", b, o, a, a / b }'
    [ "$sum_ours" = "$sum_theirs" ]
    exit
fi

statement="CREATE TABLE o AS SELECT * FROM t WHERE rowid IN (SELECT min(rowid) FROM t GROUP BY a, b)"

ratios=() cpu_ratios=()
for round in $(seq 1 "$rounds"); do
    cp "$original" "$ours"
    cp "$original" "$theirs"
    sync
    echo "round $round: rowsifter-cli ..."
    start=$(date +%s%N)
    /usr/bin/time -v -o "$work/time.txt" "$cli" --database "$ours" --table t --field a --field b --output o \
        </dev/null 2>"$work/cli-err.txt" >"$work/cli-out.txt" || { cat "$work/cli-out.txt" "$work/cli-err.txt"; exit 1; }
    end=$(date +%s%N)
    ours_s=$(seconds "$start" "$end")
    peak_kb=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
    ours_cpu=$(cpu_seconds "$work/time.txt")

    echo "round $round: $([ "$encrypted" = 1 ] && echo sqlcipher || echo sqlite3), one statement ..."
    start=$(date +%s%N)
    /usr/bin/time -v -o "$work/time.txt" bash -c 'sql "$@"' sql "$theirs" "$statement" >/dev/null
    end=$(date +%s%N)
    theirs_s=$(seconds "$start" "$end")
    theirs_cpu=$(cpu_seconds "$work/time.txt")
    ratio=$(awk -v a="$ours_s" -v b="$theirs_s" 'BEGIN { printf "%.3f", a / b }')
    ratios+=("$ratio")
    cpu_ratios+=("$(awk -v a="$ours_cpu" -v b="$theirs_cpu" 'BEGIN { printf "%.3f", a / b }')")
    echo "round $round: rowsifter-cli ${ours_s} s (peak $((peak_kb / 1024)) MB), statement ${theirs_s} s, ratio $ratio;" \
        "processor time ${ours_cpu} s against ${theirs_cpu} s, ratio ${cpu_ratios[-1]}"
done
cat "$work/cli-out.txt"

sum_ours=$(sql "$ours" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
sum_theirs=$(sql "$theirs" "SELECT $list FROM o ORDER BY a, b" | md5sum | cut -d' ' -f1)
count_ours=$(sql "$ours" "SELECT count(*) FROM o")
count_theirs=$(sql "$theirs" "SELECT count(*) FROM o")
after_bytes=$(stat -c %s "$ours")
# The output's own size: what a file holding only it takes.
sql "$ours" "ATTACH DATABASE '$work/output-only.db' AS x $([ "$encrypted" = 1 ] && echo "KEY '$password'");
    CREATE TABLE x.o AS SELECT * FROM o;" >/dev/null
output_bytes=$(stat -c %s "$work/output-only.db")
rm -f "$work/output-only.db"

target=0.5
[ "$encrypted" = 1 ] && target=0.6
[ "$rows" -ge 10000000 ] && target=0.3
memory=120
[ "$rows" -ge 10000000 ] && memory=300
echo
echo "rows: $rows, kept: $count_ours (statement: $count_theirs), shape: $shape$([ "$encrypted" = 1 ] && echo ", encrypted")"
if [ "$sum_ours" = "$sum_theirs" ]; then
    echo "outputs: same rows (md5 $sum_ours)"
else
    echo "outputs: DIFFER (rowsifter $sum_ours, statement $sum_theirs)"
fi
echo "rowsifter-cli: ${ours_s} s, peak memory $((peak_kb / 1024)) MB (target under $memory MB), last round"
echo "statement:     ${theirs_s} s, last round"
printf '%s\n' "${ratios[@]}" | sort -n | awk -v t="$target" -v n="$rounds" '{ r[NR] = $1 } END {
    printf "ratio:         %.2f, median of %d alternating rounds (target at most %.1f)\n", r[int((NR + 1) / 2)], n, t }'
printf '%s\n' "${cpu_ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END {
    printf "processor:     %.2f, median ratio of the processor times (user and system)\n", r[int((NR + 1) / 2)] }'
awk -v b="$before_bytes" -v a="$after_bytes" -v o="$output_bytes" 'BEGIN {
    printf "file:          %.1f MB before, %.1f MB after, output alone %.1f MB: after / (before + output) = %.3f (target at most 1.10)\n",
        b / 1048576, a / 1048576, o / 1048576, a / (b + o) }'
[ "$sum_ours" = "$sum_theirs" ]
