#!/usr/bin/env bash
# Figures of the wizard on big tables; prints them, judges nothing.
#
#   bench/wizard/run.sh [ROWS]          (default 1000000 rows)
#
# 1. The field page's preview: time to the first screen and memory, for 10,000 rows and for ROWS rows.
# 2. The wizard's run of the engine's benchmark table (bench/dedupe/run.sh makes it), under Xvfb, against
#    rowsifter-cli on a copy of the same file.
# Environment: ROWSIFTER_BUILD_DIR (default build/), BENCH_DIR (work folder; default a temporary one).
set -euo pipefail

rows="${1:-1000000}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ROWSIFTER_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build" rowsifter-cli rowsifter-preview-bench rowsifter-wizard-bench >/dev/null
# shellcheck source=../common.sh
. "$root/bench/common.sh"
bench_need sqlite3 xvfb-run /usr/bin/time

bench_work_folder

small="$work/preview-small.db"
rm -f "$small"
sqlite3 "$small" "CREATE TABLE t (id INTEGER PRIMARY KEY, a TEXT, b TEXT, c INTEGER);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
INSERT INTO t (a, b, c) SELECT 'name' || (i % 600), 'city' || (i % 10), i FROM n;"

echo "== The engine's benchmark table ($rows rows), and its figures with rowsifter-cli"
BENCH_DIR="$work" ROWSIFTER_BUILD_DIR="$build" "$root/bench/dedupe/run.sh" "$rows"
big="$work/big.db"
cp "$work/theirs.db" "$big"
sqlite3 "$big" "DROP TABLE o; VACUUM;"

echo
echo "== The field page's preview of a big table (first screen, memory)"
QT_QPA_PLATFORM=offscreen "$build/bin/rowsifter-preview-bench" "$small" t "$big" t

echo
echo "== The wizard's run against rowsifter-cli, same table, same machine"
cp "$big" "$work/wizard.db"
cp "$big" "$work/cli.db"
sync
start=$(date +%s%N)
"$build/bin/rowsifter-cli" --database "$work/cli.db" --table t --field a --field b --output o </dev/null 2>/dev/null
end=$(date +%s%N)
cli_s=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
wizard_line=$(QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/rowsifter-wizard-bench" "$work/wizard.db" t o a b)
echo "$wizard_line"
wizard_s=$(echo "$wizard_line" | sed -n 's/^wizard run: \([0-9.]*\) s.*/\1/p')
echo "rowsifter-cli: ${cli_s} s"
awk -v w="$wizard_s" -v c="$cli_s" 'BEGIN { printf "wizard / cli:  %.2f (target at most 1.2)\n", w / c }'
same_cli=$(sqlite3 "$work/cli.db" "SELECT * FROM o ORDER BY id" | md5sum | cut -d' ' -f1)
same_wizard=$(sqlite3 "$work/wizard.db" "SELECT * FROM o ORDER BY id" | md5sum | cut -d' ' -f1)
[ "$same_cli" = "$same_wizard" ] && echo "outputs: same rows" || { echo "outputs: DIFFER"; exit 1; }
