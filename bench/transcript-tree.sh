# Sourced by the benchmark scripts: ensure_transcript_tree TREE writes the
# generator's transcript tree (about 1.1 GB, a minute) into TREE when it
# holds no projects/ folder yet. Keep TREE outside the repository.
ensure_transcript_tree() {
  local tree=$1 top generator=${OVEL_TRANSCRIPT_GENERATOR:-} candidate
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  [ -d "$tree/projects" ] && return 0
  for candidate in "$top/../shared/tools/gen_transcripts.py" "$top/../../shared/tools/gen_transcripts.py"; do
    [ -z "$generator" ] && [ -f "$candidate" ] && generator=$candidate
  done
  if [ -z "$generator" ]; then
    echo "no transcript tree at $tree and no generator (set OVEL_TRANSCRIPT_GENERATOR)" >&2
    return 2
  fi
  echo "writing the transcript tree into $tree" >&2
  python3 "$generator" "$tree" 1024 300
}
