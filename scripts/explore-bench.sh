#!/usr/bin/env bash
# Measures `zelm-sim explore` (release build): runs, shrinking, wall time and peak memory of the largest
# process, unsharded and in four shards with their merge. Prints the markdown table of docs/performance.md
# ("Exploring fault schedules"), with the load average at the start: the machine may be shared.
#
#   scripts/explore-bench.sh          every row (examples/large.yaml's ten runs take most of it)
#   scripts/explore-bench.sh --quick  without examples/large.yaml
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh time parallel
cmake --preset release >/dev/null
cmake --build --preset release --target zelm-sim >&2
sim="$PWD/build/release/tools/sim/zelm-sim"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| command | explore's own timing line | wall | peak RSS (the largest process) |"
echo "|---|---|---:|---:|"

# row LABEL COMMAND...: one table row; explore's timing line is the stderr line that starts "zelm-sim: explore".
row() {
  local label="$1"
  shift
  rm -rf "$work/out" "$work"/s*.json
  # explore's exit status tells what it found; the time is what is measured here.
  /usr/bin/time -o "$work/time" -f "%e %M" "$@" >/dev/null 2>"$work/err" || true
  local timing wall kb
  timing=$(sed -n 's/^zelm-sim: explore: //p' "$work/err" | tr '\n' ' ')
  read -r wall kb < <(tail -n 1 "$work/time")  # after "Command exited with non-zero status"
  awk -v label="$label" -v timing="${timing:--}" -v wall="$wall" -v kb="$kb" \
    'BEGIN { printf "| %s | %s | %s s | %.1f MB |\n", label, timing, wall, kb / 1024 }'
}

row '`explore --runs 1000` (built-in)' "$sim" explore --runs 1000
row '`explore --runs 1000 --jobs 1` (built-in)' "$sim" explore --runs 1000 --jobs 1
row '`explore --runs 1000 --out DIR` (built-in)' "$sim" explore --runs 1000 --out "$work/out"
row '`explore examples/rollout.yaml --runs 1000 --out DIR`' "$sim" explore examples/rollout.yaml --runs 1000 \
  --out "$work/out"
row 'the same in 4 shards, `parallel --jobs 2 ... --jobs 1 --shard {}/4 --json s{}.json ::: 1 2 3 4`' \
  parallel --jobs 2 "$sim" explore examples/rollout.yaml --runs 1000 --jobs 1 --shard '{}/4' \
  --json "$work/s{}.json" ::: 1 2 3 4
# The merge needs the shards the row above wrote: run them again, outside the measure.
parallel --jobs 2 "$sim" explore examples/rollout.yaml --runs 1000 --jobs 1 --shard '{}/4' \
  --json "$work/s{}.json" ::: 1 2 3 4 >/dev/null 2>&1
mkdir -p "$work/shards" && mv "$work"/s*.json "$work/shards/"
row 'then `explore --merge s*.json --out DIR`' bash -c '"$0" explore --merge "$1"/s*.json --out "$2"' \
  "$sim" "$work/shards" "$work/out"
if [ "${1:-}" != --quick ]; then
  row '`explore examples/large.yaml --runs 10`' "$sim" explore examples/large.yaml --runs 10
fi
