#!/usr/bin/env bash
# Builds in Release and runs the transcript-scanner benchmark over a generated
# tree, writing the tree first when it is missing (about 1.1 GB, a minute),
# then prints the first scan beside `cat` of the same files, both measured in
# the same run, their repetitions interleaved in a random order.
#   bench/scanner.sh [TREE] [benchmark flags]
# TREE defaults to $OVEL_BENCH_TRANSCRIPTS; keep it outside the repository.
# OVEL_BENCH_REPETITIONS sets the repetitions (5).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/transcript-tree.sh"
tree=${1:-${OVEL_BENCH_TRANSCRIPTS:-}}
[ $# -gt 0 ] && shift
if [ -z "$tree" ]; then
  echo "usage: bench/scanner.sh TREE [benchmark flags]   (or set OVEL_BENCH_TRANSCRIPTS)" >&2
  exit 2
fi
ensure_transcript_tree "$tree"
OVEL_BUILD_DIR=$top/build-release OVEL_BUILD_TYPE=Release "$top/scripts/build"
# Warm the page cache so that the first scan measures the scanner, not the disk.
find "$tree/projects" -name '*.jsonl' -exec cat {} + >/dev/null
results=$(mktemp)
trap 'rm -f "$results"' EXIT
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$top/build-release/bench/bench_scanner" "$tree" --benchmark_repetitions="${OVEL_BENCH_REPETITIONS:-5}" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=json "$@"
python3 - "$results" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"].removesuffix("/real_time"): r["real_time"] for r in runs if r.get("aggregate_name") == "median"}
scan, cat = median.get("FirstScan"), median.get("CatOfTheSameFiles")
if scan and cat:
    ratio = scan / cat
    print(f"first scan {scan:.1f} ms, cat of the same files {cat:.1f} ms (medians): "
          f"{ratio:.2f}x cat, goal <= 1.2x: {'met' if ratio <= 1.2 else 'MISSED'}")
PY
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
