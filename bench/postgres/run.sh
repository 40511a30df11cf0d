#!/usr/bin/env bash
# rowsifter-cli on a PostgreSQL table against the one statement a database user would write instead, on the
# same server in one run: CREATE TABLE ... AS SELECT DISTINCT ON (keys) * ... ORDER BY keys, id.
#
#   bench/postgres/run.sh [ROWS] [RUNS]     (default 1000000 rows, 3 alternating runs of each)
#
# The server is a throwaway cluster made for the run (the tests' cluster.sh) and stopped at the end. The
# table has the shape of bench/dedupe: 8 columns, the key fields a and b repeat in 40% of the rows.
# Environment: ROWSIFTER_BUILD_DIR (default build/; rowsifter-cli is built there when missing), BENCH_SHAPE
# id (an integer identifier column, the default) or noid (no integer column: the rows are numbered in
# physical order).
set -euo pipefail

rows="${1:-1000000}"
runs="${2:-3}"
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
bench_need /usr/bin/time awk md5sum

# shellcheck source=../../tests/server/cluster_env.sh
. "$root/tests/server/cluster_env.sh"

work="$(mktemp -d)"
trap 'cluster_stop; rm -rf "$work"' EXIT
cluster_start "$work"

distinct=$((rows * 6 / 10))
case "$shape" in
    id) columns="id integer PRIMARY KEY, a text, b text, city text, amount float8, created date, note text, code text"
        values="x, format('First%s', lpad((k % 1000)::text, 4, '0')), format('Last%s', lpad((k / 1000)::text, 5, '0')),
                format('City%s', lpad((x % 500)::text, 3, '0')), (x % 100000) / 100.0,
                DATE '2020-01-01' + (x % 1500), format('note %s for row %s', x % 97, x),
                'C' || upper(lpad(to_hex((x::bigint * 2654435761) % 4294967296), 8, '0'))"
        order="id" ;;
    noid) columns="a text, b text, city text, amount float8, created date, note text, code text, ref text"
        values="format('First%s', lpad((k % 1000)::text, 4, '0')), format('Last%s', lpad((k / 1000)::text, 5, '0')),
                format('City%s', lpad((x % 500)::text, 3, '0')), (x % 100000) / 100.0,
                DATE '2020-01-01' + (x % 1500), format('note %s for row %s', x % 97, x),
                'C' || upper(lpad(to_hex((x::bigint * 2654435761) % 4294967296), 8, '0')), 'R' || x"
        order="ctid" ;;
    *) echo "run.sh: BENCH_SHAPE is id or noid" >&2; exit 2 ;;
esac

echo "Making $rows rows ($shape) on the server ..."
psql -c "CREATE TABLE t($columns)" \
     -c "INSERT INTO t SELECT $values FROM (SELECT x, (x::bigint * 7919) % $distinct AS k FROM generate_series(1, $rows) x) n" \
     -c "VACUUM ANALYZE t"

now() { date +%s%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'; }

ours_all=()
theirs_all=()
peak_kb=0
for i in $(seq 1 "$runs"); do
    psql -c "DROP TABLE IF EXISTS o" -c "DROP TABLE IF EXISTS o2" -c "CHECKPOINT"
    start=$(now)
    /usr/bin/time -v -o "$work/time.txt" "$cli" -q -d "$uri" -t t -f a -f b -o o </dev/null >"$work/cli-out.txt" \
        2>"$work/cli-err.txt" || { cat "$work/cli-err.txt" >&2; exit 1; }
    end=$(now)
    ours_all+=("$(seconds "$start" "$end")")
    kb=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
    [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb

    psql -c "CHECKPOINT"
    start=$(now)
    psql -c "CREATE TABLE o2 AS SELECT DISTINCT ON (a, b) * FROM t ORDER BY a, b, $order"
    end=$(now)
    theirs_all+=("$(seconds "$start" "$end")")
    echo "run $i: rowsifter-cli ${ours_all[-1]} s, DISTINCT ON ${theirs_all[-1]} s"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours_s=$(median "${ours_all[@]}")
theirs_s=$(median "${theirs_all[@]}")
count_ours=$(psql -At -c "SELECT count(*) FROM o")
count_theirs=$(psql -At -c "SELECT count(*) FROM o2")
differ=$(psql -At -c "SELECT count(*) FROM ((TABLE o EXCEPT ALL TABLE o2) UNION ALL (TABLE o2 EXCEPT ALL TABLE o)) d")

echo
echo "rows: $rows, kept: $count_ours (DISTINCT ON: $count_theirs), shape: $shape, runs: $runs (medians)"
[ "$differ" = 0 ] && echo "outputs: same rows" || echo "outputs: DIFFER in $differ rows"
echo "rowsifter-cli: ${ours_s} s, client peak memory $((peak_kb / 1024)) MB"
echo "DISTINCT ON:   ${theirs_s} s"
awk -v a="$ours_s" -v b="$theirs_s" -v r="$rows" 'BEGIN {
    printf "ratio:         %.2f (target at most 1.0; peak memory target under %d MB)\n", a / b, (r >= 10000000 ? 400 : 150) }'
[ "$differ" = 0 ]
