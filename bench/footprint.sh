#!/usr/bin/env bash
# Ovel's memory in real mode beside the demo's, started side by side in one
# run: the real one over an 8-day history (34 500 readings) and the
# generator's transcript tree, with a `claude` on PATH that answers at once;
# the demo on the at-risk scenario. Both run offscreen, each with a private
# HOME and data directory. Prints both resident sizes 60 s after the start
# and again after the long wait, with the real one's CPU seconds between.
# Goal: real within 1.25x of the demo at both times.
#   bench/footprint.sh TREE [OVEL]   (or OVEL_BENCH_TRANSCRIPTS=TREE)
# OVEL is the program to measure (default: a Release build of this tree);
# OVEL_BENCH_MINUTES sets the long wait (10).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/bench/transcript-tree.sh"
tree=${1:-${OVEL_BENCH_TRANSCRIPTS:-}}
minutes=${OVEL_BENCH_MINUTES:-10}
if [ -z "$tree" ]; then
  echo "usage: bench/footprint.sh TREE [OVEL]   (or set OVEL_BENCH_TRANSCRIPTS)" >&2
  exit 2
fi
ensure_transcript_tree "$tree"
ovel=${2:-}
if [ -z "$ovel" ]; then
  OVEL_BUILD_DIR=$top/build-release OVEL_BUILD_TYPE=Release "$top/scripts/build" >/dev/null
  ovel=$top/build-release/bin/Ovel
fi

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/bin" "$work/real/home" "$work/real/data" "$work/demo/home" "$work/demo/data"
cat >"$work/bin/claude" <<'SH'
#!/bin/sh
printf '%s' '{"result":"Current session: 42% used\nCurrent week (all models): 13% used","is_error":false}'
SH
chmod +x "$work/bin/claude"
# Eight days of readings, one every 20 s, of the session and week windows.
python3 - "$work/real/data/history.jsonl" <<'PY'
import json, sys, time
now = time.time()
start, step, count = now - 8 * 86400, 20.0, 34500
with open(sys.argv[1], "w") as out:
    for i in range(count):
        t = start + i * step
        kind = "session" if i % 2 == 0 else "week"
        period = 18000 if kind == "session" else 604800
        reset = (int(t // period) + 1) * period
        used = round(100 * (t % period) / period, 1)
        out.write(json.dumps({"k": kind, "u": used, "r": reset, "t": round(t, 3)}, separators=(",", ":")) + "\n")
PY

start() {  # start NAME [ARGS...]: runs Ovel on NAME's folders, pid in $started
  local name=$1
  shift
  env HOME="$work/$name/home" OVEL_HOME="$work/$name/data" CLAUDE_CONFIG_DIR="$tree" PATH="$work/bin:$PATH" \
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/$name" "$ovel" "$@" >"$work/$name/log" 2>&1 &
  started=$!
  pids+=("$started")
}
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
cpu_seconds() { awk -v tick="$(getconf CLK_TCK)" '{ print ($14 + $15) / tick }' "/proc/$1/stat"; }
alive() { kill -0 "$1" 2>/dev/null || { echo "$2 ended early; its log:" >&2; cat "$work/$2/log" >&2; exit 1; }; }

start real
real=$started
start demo --demo at-risk
demo=$started
echo "program: $ovel"
echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
report() {  # report LABEL
  alive "$real" real
  alive "$demo" demo
  local r d
  r=$(rss_kb "$real")
  d=$(rss_kb "$demo")
  awk -v label="$1" -v r="$r" -v d="$d" 'BEGIN {
    ratio = r / d
    printf "  %-12s real %6.1f MB   demo %6.1f MB   real/demo %.2f  goal <= 1.25: %s\n",
      label, r / 1024, d / 1024, ratio, ratio <= 1.25 ? "met" : "MISSED" }'
}
sleep 60
report "at 60 s"
cpu_then=$(cpu_seconds "$real")
sleep $((minutes * 60))
report "$minutes min on"
awk -v a="$cpu_then" -v b="$(cpu_seconds "$real")" -v m="$minutes" \
  'BEGIN { printf "  real mode used %.2f CPU seconds over those %d minutes\n", b - a, m }'
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
if grep -q "ovel\.scan" "$work/real/log"; then
  echo "the real one said of the transcripts:"
  grep "ovel\.scan" "$work/real/log" | head -5
fi
