#!/usr/bin/env bash
# Builds a libFuzzer target (fuzz preset: clang, ASan + UBSan) and fuzzes it from its seed corpus.
#
#   scripts/fuzz.sh --ci                short run for CI: 60 s of every target over a copy of its seeds
#   scripts/fuzz.sh                     long run: 10 million executions or one hour, whichever ends first
#   scripts/fuzz.sh --time 600 --runs 0 long run with other limits (0: no limit on executions)
#   scripts/fuzz.sh --minimize          merges the long run's corpus into the seed corpus, minimised
#   scripts/fuzz.sh --stats [DIR]       runs the entries target once on every input of DIR (default: its
#                                       seeds) and tells how many entries the model checked
#   scripts/fuzz.sh --target NAME ...   another target (default entries: zelm_entries_fuzz; scenario:
#                                       zelm_scenario_fuzz, zelm-sim's scenario reader)
#   scripts/fuzz.sh -B /tmp/fuzz ...    another build folder (default build/fuzz)
#
# Target NAME is the executable zelm_NAME_fuzz, its seeds are fuzz/corpus/NAME/ (and, for the
# scenario reader, the scenarios in examples/). The long
# run keeps its corpus in <build>/corpus-NAME (started from the seeds and kept between
# runs), writes crashes to <build>/artifacts/ and its log to <build>/fuzz-NAME.log, and
# ends with libFuzzer's figures. A crash input replays with <build>/fuzz/zelm_NAME_fuzz <file>.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
target=entries
mode=long
max_time=3600
max_runs=10000000
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) mode=ci; shift ;;
    --minimize) mode=minimize; shift ;;
    --stats) mode=stats; shift; if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then stats_dir="$1"; shift; fi ;;
    --time) max_time="$2"; shift 2 ;;
    --runs) max_runs="$2"; shift 2 ;;
    --target) target="$2"; shift 2 ;;
    -B) build="$2"; shift 2 ;;
    *) echo "usage: scripts/fuzz.sh [--ci | --minimize | --stats [dir]] [--time s] [--runs n] [--target name] [-B build-folder]" >&2
       exit 2 ;;
  esac
done

scripts/deps.sh clang libclang-rt-14-dev
cmake --preset fuzz -B "$build" >/dev/null
targets=("$target")
if [ "$mode" = ci ]; then targets=(entries scenario); fi
names=()
for t in "${targets[@]}"; do names+=("zelm_${t}_fuzz"); done
cmake --build "$build" -j2 --target "${names[@]}" >&2

fuzzer="$build/fuzz/zelm_${target}_fuzz"
seeds="fuzz/corpus/$target"
# seed_into NAME FOLDER: copies target NAME's seeds into FOLDER.
seed_into() {
  cp "fuzz/corpus/$1"/* "$2/" 2>/dev/null || true
  if [ "$1" = scenario ]; then cp examples/*.yaml "$2/"; fi
}
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
flags=(-max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
mkdir -p "$build/artifacts" "$seeds"

case "$mode" in
  stats)
    # Each input once, without libFuzzer's second run of inputs that look like leaking.
    # xargs may run the target more than once: their counts add up.
    find "${stats_dir:-$seeds}" -type f -print0 | xargs -0 env ZELM_FUZZ_STATS=1 "$build/fuzz/zelm_entries_fuzz" \
      -detect_leaks=0 -max_len=4096 2>&1 | awk '/^model:/ { f += $2; n += $4; c += $8; e += $11 }
        END { printf "model: %d of %d inputs followed it; %d of their %d entries checked, %.1f per input\n",
              f, n, c, e, f ? c / f : 0 }'
    ;;
  ci)
    # A copy, so that what the run adds stays out of the repository.
    for t in "${targets[@]}"; do
      run_corpus="$build/corpus-$t-ci"
      rm -rf "$run_corpus"
      mkdir -p "$run_corpus"
      seed_into "$t" "$run_corpus"
      "$build/fuzz/zelm_${t}_fuzz" "${flags[@]}" -max_total_time=60 -artifact_prefix="$build/artifacts/$t-" "$run_corpus"
    done
    ;;
  minimize)
    fresh="$build/seeds-$target"
    rm -rf "$fresh"
    mkdir -p "$fresh"
    "$fuzzer" "${flags[@]}" -merge=1 "$fresh" "$seeds" "$build/corpus-$target"
    rm -f "$seeds"/*
    cp "$fresh"/* "$seeds/"
    echo "$(ls "$seeds" | wc -l) seeds in $seeds" >&2
    ;;
  long)
    mkdir -p "$build/corpus-$target"
    seed_into "$target" "$build/corpus-$target"
    log="$build/fuzz-$target.log"
    echo "command: $fuzzer ${flags[*]} -max_total_time=$max_time -runs=$max_runs $build/corpus-$target" >"$log"
    runs_flag=()
    if [ "$max_runs" -gt 0 ]; then runs_flag=(-runs="$max_runs"); fi
    "$fuzzer" "${flags[@]}" -max_total_time="$max_time" "${runs_flag[@]}" -artifact_prefix="$build/artifacts/" \
      "$build/corpus-$target" 2>>"$log" || { tail -n 60 "$log" >&2; exit 1; }
    grep -E '^(Done|stat::)' "$log" >&2
    ;;
esac
