#!/usr/bin/env bash
# zelm-sim explore sharded as a batch engine runs it: four shards under GNU parallel, then merged, must give the
# unsharded run's text report, JSON report and reproducers with their pages, byte for byte.
# Usage: tests/sim/explore_shards_check.sh path/to/zelm-sim
set -euo pipefail
sim=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/one" "$work/sharded"
# The built-in scenario drifts by itself (its baseline is shrunk too) and finds two reasons of its own; 18 runs do not
# divide into 4 shards evenly.
runs=(--runs 18 --seed 2)

cd "$work/one"
"$sim" explore "${runs[@]}" --out findings --json report.json >report.txt 2>/dev/null
cd "$work/sharded"
parallel --will-cite --halt now,fail=1 --jobs 2 \
  "$sim" explore "${runs[@]}" --jobs 1 -q --shard {}/4 --json shard-{}.json ::: 1 2 3 4
"$sim" explore --merge shard-4.json shard-2.json shard-1.json shard-3.json --out findings --json report.json \
  >report.txt 2>/dev/null

cd "$work"
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }
cmp one/report.txt sharded/report.txt || { diff one/report.txt sharded/report.txt >&2 || true; fail "text report"; }
cmp one/report.json sharded/report.json || fail "JSON report"
diff -r one/findings sharded/findings >&2 || fail "reproducers"
[ "$(ls one/findings | wc -l)" -ge 6 ] || fail "too few reproducers to compare: $(ls one/findings)"
exit "$failed"
