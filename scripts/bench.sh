#!/usr/bin/env bash
# Builds the benchmarks (release preset, -DZELM_BUILD_BENCH=ON, in build/bench) and runs them.
#
#   scripts/bench.sh                          every benchmark: avl3 intake smoothing memory
#   scripts/bench.sh avl3 memory              only these
#   scripts/bench.sh avl3 -- --benchmark_filter=find --benchmark_repetitions=3
#                                             flags after -- go to every benchmark executable
#
# Each executable prints Google Benchmark's table and then a markdown summary
# (cost per item, ratio to boost::intrusive, growth with size); all summaries
# of the run are also collected in <build>/summary.md. The build folder is
# build/bench unless ZELM_BENCH_BUILD_DIR names another.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libbenchmark-dev libboost-dev

command="scripts/bench.sh $*"
names=()
flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    --) shift; flags=("$@"); break ;;
    *) names+=("$1"); shift ;;
  esac
done
[ "${#names[@]}" -gt 0 ] || names=(avl3 intake smoothing memory)
targets=()
for name in "${names[@]}"; do targets+=("${name}_bench"); done

build="${ZELM_BENCH_BUILD_DIR:-build/bench}"
cmake --preset release -B "$build" -DZELM_BUILD_BENCH=ON -DZELM_BUILD_TESTS=OFF -DZELM_BUILD_SIM=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >&2

summary="$build/summary.md"
{
  echo "# Benchmark summary"
  echo
  echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
  echo "- command: $command"
} >"$summary"
for target in "${targets[@]}"; do
  "$build/bench/$target" --summary_out="$summary" "${flags[@]}"
done
echo "Summary written to $summary" >&2
