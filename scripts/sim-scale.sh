#!/usr/bin/env bash
# Measures zelm-sim on generated clusters of growing size (release build): peak memory, wall and user time,
# the memory estimate, and the bring-up cost the COST section counts. Prints the two markdown tables of
# docs/performance.md ("The simulator"), and the COST section's explanation of each run where one kind of
# entry dominates.
#
#   scripts/sim-scale.sh              every shape, the largest last (the 10^6-component run takes most of it:
#                                     20 minutes of CPU and 50 of wall time on a shared machine)
#   scripts/sim-scale.sh 1000 10000   only the shapes with these numbers of locations (10000000: the 10^7 run)
#
# Shapes: 100 nodes, ten components per location, ten component types, nodes joining 20 ms apart; and
# 10^7 components as 10 nodes of 1,000 locations with 1,000 components each. Each run reports counts only
# (holdings: summary). The load average is printed beside each row: the machine may be shared.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh jq time
cmake --preset release >/dev/null
cmake --build --preset release --target zelm-sim >&2
sim="$PWD/build/release/tools/sim/zelm-sim"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

shapes=("$@")
[ "${#shapes[@]}" -gt 0 ] || shapes=(1000 10000 20000 100000 10000000)

# The generate block of a shape, named by its number of locations (10000000: the 10^7-component run).
shape() {
  if [ "$1" = 10000000 ]; then
    echo "{nodes: 10, locationsPerNode: 1000, componentTypes: 10, componentsPerLocation: 1000, stagger: 20ms}"
  else
    echo "{nodes: 100, locationsPerNode: $(($1 / 100)), componentTypes: 10, componentsPerLocation: 10, stagger: 20ms}"
  fi
}

# The estimate, as the refusal under a small limit states it: "needs about 2.2 GB of memory" (the limit is
# above what reading the file takes, below what any of these runs takes).
estimate() {
  { "$sim" --validate --memory-limit 9M "$1" 2>&1 || true; } | sed -n 's/.*needs about \([0-9.]* [KMG]B\) of memory.*/\1/p'
}

mb() { awk -v kb="$1" 'BEGIN { printf "%.0f MB", kb / 1024 }'; }
# 1234567 as 1,234,567.
grouped() { echo "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }

memory_rows=()
cost_rows=()
explanations=()
for s in "${shapes[@]}"; do
  yaml="$work/g-$s.yaml"
  printf 'report: {holdings: summary}\ngenerate: %s\n' "$(shape "$s")" >"$yaml"
  load="$(cut -d' ' -f1-3 /proc/loadavg)"
  /usr/bin/time -f "%e %U %M" -o "$work/time" "$sim" --quiet --memory-limit 64G --json "$work/r.json" "$yaml"
  read -r wall user kb <"$work/time"
  comps="$(jq '[.agents[].componentCount] | add' "$work/r.json")"
  locs="$(jq '[.agents[].locationCount] | add' "$work/r.json")"
  per="$(awk -v kb="$kb" -v n="$comps" 'BEGIN { printf "%.0f", kb * 1024 / n }')"
  memory_rows+=("| $(grouped "$locs") | $(grouped "$comps") | $(mb "$kb") | $per B | $(estimate "$yaml") | $wall s | $user s | $load |")
  # The bring-up cost: every tree step, the completions' share, steps per completion, and per link report.
  read -r steps completionSteps completions linkSteps < <(jq -r '
    .cost as $c | ($c.byKind | map({(.kind): .}) | add) as $k |
    "\($c.treeSteps) \($k.rpcCompletions.treeSteps) \($k.rpcCompletions.entries) \($k.osNodeLinkReports.treeSteps)"' \
    "$work/r.json")
  share=$((steps > 0 ? completionSteps * 100 / steps : 0))
  perCompletion=$((completions > 0 ? completionSteps / completions : 0))
  cost_rows+=("| $(grouped "$locs") | $(grouped "$comps") | $(grouped "$steps") | $(grouped "$completionSteps") ($share %) | $(grouped "$completions") | $(grouped "$perCompletion") | $(grouped "$linkSteps") | $wall s |")
  why="$(jq -r '.cost.dominant | if . then "\(.kind) (\(.percent) %): \(.explanation)" else empty end' "$work/r.json")"
  [ -z "$why" ] || explanations+=("- $(grouped "$locs") locations: $why")
  echo "done: $s locations, $wall s" >&2
done

echo "| locations | components | peak RSS | per component | estimate | wall | user CPU | load average |"
echo "|---:|---:|---:|---:|---:|---:|---:|---|"
printf '%s\n' "${memory_rows[@]}"
echo
echo "| locations | components | tree steps | in RPC completions | completions | steps per completion | in link reports | wall |"
echo "|---:|---:|---:|---:|---:|---:|---:|---:|"
printf '%s\n' "${cost_rows[@]}"
echo
printf '%s\n' "${explanations[@]}"
