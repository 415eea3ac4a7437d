#!/usr/bin/env bash
# What the status-line relay costs Claude Code on every refresh, measured
# on a full status-line payload in a throw-away data directory. The commands
# run side by side in one run, interleaved in a shuffled order round after
# round, so that the load of the machine weighs on each alike:
#   - the relay alone (summary line) against /bin/true;
#   - the relay chained to `cat >/dev/null` against `sh -c 'cat >/dev/null'`
#     started directly: the user's command alone;
#   - for scale, a program that does nothing but exec that same shell: what
#     any program standing between Claude Code and the command costs here.
# Goals: the relay alone within 2 ms median; the chained relay within 0.3 ms
# of the command alone (it hands its input over in a sealed memory file and
# becomes the shell: no fork, pipe or wait). Builds the relay in Release.
# Other builds of the relay given as arguments run in the same rounds, alone
# and chained, to compare link or build choices side by side.
#   bench/relay.sh [other-relay ...]   (OVEL_BENCH_RUNS sets the rounds, 1000)
# The data directory lies under $TMPDIR (default /tmp). Its file system
# matters: replacing statusline.json by rename costs far more on ext4 than on
# tmpfs, so TMPDIR=/dev/shm shows the relay without that cost.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${OVEL_BENCH_RUNS:-1000}
cmake -S "$top" -B "$top/build-relay" -G Ninja -DCMAKE_BUILD_TYPE=Release -DOVEL_BUILD_APP=OFF \
  -DOVEL_BUILD_TESTS=OFF -DOVEL_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$top/build-relay" --target ovel-bridge >/dev/null
# Built without the application, the relay stays in its own folder.
relay=$top/build-relay/ovel_bridge/ovel-bridge

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OVEL_HOME=$work/home
mkdir -p "$OVEL_HOME"
payload=$work/payload.json
cat >"$payload" <<'EOF'
{"cwd":"/home/kim/src/tide","session_id":"0d9b7c1e-3f4a-4e8b-b2c6-5a1f9e7d3c20","session_name":"tide-refactor",
 "transcript_path":"/home/kim/.claude/projects/-home-kim-src-tide/0d9b7c1e.jsonl",
 "model":{"id":"claude-opus-4-5","display_name":"Opus"},
 "workspace":{"current_dir":"/home/kim/src/tide/lib","project_dir":"/home/kim/src/tide","added_dirs":[],
              "git_worktree":"tide-refactor","repo":{"host":"example.org","owner":"kim","name":"tide"}},
 "version":"2.3.1","output_style":{"name":"default"},
 "cost":{"total_cost_usd":1.875,"total_duration_ms":3605000,"total_api_duration_ms":410000,
         "total_lines_added":412,"total_lines_removed":97},
 "context_window":{"total_input_tokens":151000,"total_output_tokens":8800,"context_window_size":200000,
                   "used_percentage":77,"remaining_percentage":23,
                   "current_usage":{"input_tokens":3100,"output_tokens":800,"cache_creation_input_tokens":1200,
                                    "cache_read_input_tokens":146000}},
 "exceeds_200k_tokens":false,"fast_mode":false,"effort":{"level":"high"},"thinking":{"enabled":true},
 "rate_limits":{"five_hour":{"used_percentage":42.4,"resets_at":1767243600},
                "seven_day":{"used_percentage":12.5,"resets_at":1767600000}},
 "vim":{"mode":"NORMAL"},"agent":{"name":"test-runner"},
 "pr":{"number":88,"url":"https://example.org/kim/tide/pull/88","review_state":"pending"}}
EOF
cat >"$OVEL_HOME/integration.json" <<'EOF'
{
  "installedAt": "2026-01-01T00:00:00Z",
  "originalStatusLine": {
    "command": "cat >/dev/null",
    "type": "command"
  }
}
EOF
# The relay chains only to a record that no one else may write.
chmod 0644 "$OVEL_HOME/integration.json"
chmod go-w "$OVEL_HOME"

# The runs below must do what Claude Code would see.
for program in "$relay" "$@"; do
  [ "$("$program" <"$payload")" = "5h 42% · 7d 13%" ] || { echo "$program: the relay's summary is wrong" >&2; exit 1; }
  [ -z "$("$program" --chain <"$payload")" ] || { echo "$program: the relay did not chain" >&2; exit 1; }
  echo "relay: $program ($(stat -c %s "$program") bytes)"
  ldd "$program" || true
done
echo "data directory: $OVEL_HOME ($(stat -f -c %T "$OVEL_HOME"))"
printf '#include <unistd.h>\nint main(void) { char* a[] = {"/bin/sh", "-c", "cat >/dev/null", 0}; execv(a[0], a); return 1; }\n' \
  >"$work/exec-only.c"
cc -O2 -o "$work/exec-only" "$work/exec-only.c"

python3 - "$runs" "$payload" "$relay" "$work/exec-only" "$@" <<'PY'
import os, random, statistics, sys, time
runs, payload, relay, exec_only, others = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
commands = {
    "/bin/true": ["/bin/true"],
    "ovel-bridge": [relay],
    "sh -c 'cat >/dev/null'": ["/bin/sh", "-c", "cat >/dev/null"],
    "ovel-bridge --chain": [relay, "--chain"],
    "exec-only program": [exec_only],
}
for index, other in enumerate(others, 1):
    commands[f"other {index}"] = [other]
    commands[f"other {index} --chain"] = [other, "--chain"]
times = {name: [] for name in commands}
cpu = {name: [] for name in commands}  # user + system time of the child
devnull = os.open("/dev/null", os.O_WRONLY)
for _ in range(runs):
    order = list(commands.items())
    random.shuffle(order)
    for name, argv in order:
        source = os.open(payload, os.O_RDONLY)
        started = time.perf_counter_ns()
        pid = os.posix_spawn(argv[0], argv, os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, source, 0), (os.POSIX_SPAWN_DUP2, devnull, 1)])
        _, _, usage = os.wait4(pid, 0)
        times[name].append((time.perf_counter_ns() - started) / 1e6)
        cpu[name].append((usage.ru_utime + usage.ru_stime) * 1e3)
        os.close(source)
ms = {name: statistics.median(values) for name, values in times.items()}
cpu_ms = {name: statistics.median(values) for name, values in cpu.items()}
verdict = lambda ok: "met" if ok else "MISSED"
def line(label, name, note=""):
    print(f"  {label:<28} {ms[name]:7.3f} ms  cpu {cpu_ms[name]:6.3f} ms  {note}".rstrip())
alone, true = ms["ovel-bridge"], ms["/bin/true"]
chained, bare, floor = ms["ovel-bridge --chain"], ms["sh -c 'cat >/dev/null'"], ms["exec-only program"]
print(f"{runs} rounds, medians of wall and CPU time:")
line("/bin/true", "/bin/true")
line("ovel-bridge", "ovel-bridge", f"(+{alone - true:.3f} ms)  goal <= 2 ms: {verdict(alone <= 2)}")
line("sh -c 'cat >/dev/null'", "sh -c 'cat >/dev/null'", "(the command alone)")
line("ovel-bridge --chain", "ovel-bridge --chain",
     f"(+{chained - bare:.3f} ms)  goal <= +0.3 ms: {verdict(chained - bare <= 0.3)}")
line("exec-only program", "exec-only program", f"(+{floor - bare:.3f} ms: one more exec of any program)")
for index, other in enumerate(others, 1):
    print(f"  other {index}: {other}")
    line("  alone", f"other {index}", f"({ms[f'other {index}'] - alone:+.3f} ms against ovel-bridge)")
    line("  --chain", f"other {index} --chain",
         f"({ms[f'other {index} --chain'] - chained:+.3f} ms against ovel-bridge --chain)")
PY
