#!/usr/bin/env bash
# tests/access/fuzz/run_fuzzer.sh [SECONDS] [libFuzzer options ...]: builds the reader's fuzz target with
# clang (libFuzzer, address and undefined-behaviour sanitizers) into build-fuzz/ and runs it for SECONDS
# (default 120), seeded with the real Access files of the tests. Findings land in build-fuzz/findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
seconds="${1:-120}"; shift || true
out="$root/build-fuzz"
data="${ROWSIFTER_ACCESS_TESTDATA:-$root/../shared/testdata/access}"
mkdir -p "$out/corpus" "$out/findings"
cp -n "$data"/*.mdb "$data"/*.accdb "$out/corpus/" 2>/dev/null || true
flags=(-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer -I"$root"
       $(pkg-config --cflags libmdb sqlcipher))
clang++ "${flags[@]}" -o "$out/reader_fuzz" "$root/tests/access/fuzz/reader_fuzz.cpp" \
    "$root"/access/{reader,header,text_decoder,date_time}.cpp "$root"/db/{value,file_kind}.cpp \
    $(pkg-config --libs libmdb sqlcipher)
cd "$out"
# libmdb's endless loops and growth are known (the helper process holds them in check): a short timeout
# and a memory ceiling keep them from eating the run; its warnings on standard output and error are closed.
exec ./reader_fuzz -max_total_time="$seconds" -timeout=5 -rss_limit_mb=1024 -max_len=4000000 -close_fd_mask=3 \
    -artifact_prefix=findings/ -print_final_stats=1 "$@" corpus
