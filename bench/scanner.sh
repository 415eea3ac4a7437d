#!/usr/bin/env bash
# Builds in Release and runs the transcript-scanner benchmark over a generated
# tree, writing the tree first when it is missing (about 1.1 GB, a minute).
#   bench/scanner.sh [TREE] [benchmark flags]
# TREE defaults to $OVEL_BENCH_TRANSCRIPTS; keep it outside the repository.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-${OVEL_BENCH_TRANSCRIPTS:-}}
[ $# -gt 0 ] && shift
if [ -z "$tree" ]; then
  echo "usage: bench/scanner.sh TREE [benchmark flags]   (or set OVEL_BENCH_TRANSCRIPTS)" >&2
  exit 2
fi
if [ ! -d "$tree/projects" ]; then
  generator=${OVEL_TRANSCRIPT_GENERATOR:-}
  for candidate in "$top/../shared/tools/gen_transcripts.py" "$top/../../shared/tools/gen_transcripts.py"; do
    [ -z "$generator" ] && [ -f "$candidate" ] && generator=$candidate
  done
  if [ -z "$generator" ]; then
    echo "no transcript tree at $tree and no generator (set OVEL_TRANSCRIPT_GENERATOR)" >&2
    exit 2
  fi
  echo "writing the transcript tree into $tree" >&2
  python3 "$generator" "$tree" 1024 300
fi
OVEL_BUILD_DIR=$top/build-release OVEL_BUILD_TYPE=Release "$top/scripts/build"
# Warm the page cache so that the first scan measures the scanner, not the disk.
find "$tree/projects" -name '*.jsonl' -exec cat {} + >/dev/null
exec "$top/build-release/bench/bench_scanner" "$tree" "$@"
