#!/usr/bin/env bash
# Builds in Release and runs the transcript-scanner benchmark over a generated
# tree, writing the tree first when it is missing (about 1.1 GB, a minute),
# then prints the first scan beside `cat` of the same files and the rescans
# beside their goals, all measured in the same run, their repetitions
# interleaved in a random order.
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
median = {r["run_name"].replace("/process_time", "").removesuffix("/real_time"): r
          for r in runs if r.get("aggregate_name") == "median"}
def ms(name):
    return median[name]["real_time"] if name in median else None
scan, cat = ms("FirstScan"), ms("CatOfTheSameFiles")
if scan and cat:
    ratio = scan / cat
    print(f"first scan {scan:.1f} ms ({median['FirstScan']['cpu_time']:.0f} ms of processor time), "
          f"cat of the same files {cat:.1f} ms (medians): {ratio:.2f}x cat, goal <= 1.2x: "
          f"{'met' if ratio <= 1.2 else 'MISSED'}")
    one, plain = ms("FirstScan/OneReader"), ms("CatOfTheSameFiles/BufferPerFile")
    if one: print(f"  with one reader {one:.1f} ms ({one / cat:.2f}x cat)")
    if plain: print(f"  cat mapping a buffer per file {plain:.1f} ms (what page faults add to it)")
rescan, floor = ms("RescanUnchanged"), ms("Floor/StatEachFile")
if rescan:
    print(f"rescan, nothing changed: {rescan * 1e3:.0f} us, goal <= 1000 us: {'met' if rescan <= 1 else 'MISSED'}"
          + (f" (a stat of each file alone: {floor * 1e3:.0f} us)" if floor else ""))
wide, wideFloor = median.get("RescanUnchanged/50000Files"), median.get("Floor/StatEachFile/50000Files")
if wide:
    per = wide["per file"] * 1e6
    print(f"rescan of 50 000 unchanged files: {per:.2f} us a file, goal <= 3 us: {'met' if per <= 3 else 'MISSED'}"
          + (f" (a stat of each file alone: {wideFloor['per file'] * 1e6:.2f} us)" if wideFloor else ""))
PY
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
