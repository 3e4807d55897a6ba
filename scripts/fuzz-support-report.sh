#!/usr/bin/env bash
# Fuzzes the support report's reader and JSON writer with libFuzzer (clang) for a few minutes and
# prints its figures: executions, coverage, crashes. Not part of the test command.
#   scripts/fuzz-support-report.sh [SECONDS]   (default 180)
# A crash leaves its input in build/fuzz/crashes/; run build/fuzz/bin/support_report_fuzz FILE to see it again.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
scripts/deps.sh fuzz
build=build/fuzz
mkdir -p "$build/corpus" "$build/crashes"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTINEL_FUZZ=ON \
  -DOSTINEL_SANITIZE=ON -DOSTINEL_BENCHMARKS=OFF >"$build/configure.log"
cmake --build "$build" --target support_report_fuzz -j2 >"$build/build.log"

# A seed: a set-up section of this layout (magic, size, even counter, a process and a short path).
python3 - "$build/corpus/seed-section" <<'PY'
import struct, sys
words = [0x314E534F, 1092, 2, 4242, 1, 0x9DC4A800, 0x01DB6A1E]
data = struct.pack('<7I', *words) + struct.pack('<4H', 1, 1, 0, 0)
data += struct.pack('<7I', 1, 1, 0, 1, 0, 0, 3) + 'abc'.encode('utf-16-le')
data += bytes(1092 - len(data)) + b'\x0b' + 'PC'.encode('utf-16-le')
open(sys.argv[1], 'wb').write(data)
PY

rm -f "$build/crashes/"*
started=$(date +%s)
"$build/bin/support_report_fuzz" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
  -artifact_prefix="$build/crashes/" "$build/corpus" >"$build/fuzz.log" 2>&1 || true
elapsed=$(( $(date +%s) - started ))
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz.log")
last=$(grep -E '^#[0-9]+' "$build/fuzz.log" | tail -1)
cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
corpus=$(sed -n 's/.* corp: \([0-9]*\/[0-9A-Za-z]*\).*/\1/p' <<<"$last")
crashes=$(find "$build/crashes" -type f | wc -l)
echo "support report fuzzing: ${elapsed} s, ${execs:-?} executions ($(( ${execs:-0} / (elapsed > 0 ? elapsed : 1) ))/s)," \
  "coverage ${cov:-?} edges, ${ft:-?} features, corpus ${corpus:-?}, crashes ${crashes} (log: $build/fuzz.log)"
[ "$crashes" -eq 0 ]
