#!/usr/bin/env bash
# Builds the libFuzzer target (fuzz preset: clang, ASan + UBSan) and fuzzes the library's entries.
#
#   scripts/fuzz.sh --ci                short run for CI: 60 s over a copy of fuzz/corpus
#   scripts/fuzz.sh                     long run: 10 million executions or one hour, whichever ends first
#   scripts/fuzz.sh --time 600 --runs 0 long run with other limits (0: no limit on executions)
#   scripts/fuzz.sh --seeds             rewrites fuzz/corpus from the seed writer
#   scripts/fuzz.sh --scenario [...]    long run over zelm-sim's scenario reader instead (seeded with examples/)
#   scripts/fuzz.sh -B /tmp/fuzz ...    another build folder (default build/fuzz)
#
# The long run keeps its corpus in <build>/corpus (started from fuzz/corpus and
# kept between runs), writes crashes to <build>/artifacts/ and its log to
# <build>/fuzz.log, and ends with libFuzzer's figures (executions, speed, corpus).
# A crash input replays with: <build>/fuzz/zelm_entries_fuzz <file>, and
# ZELM_FUZZ_TRACE=1 prints the operations it decodes to.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
mode=long
scenario=0
max_time=3600
max_runs=10000000
while [ $# -gt 0 ]; do
  case "$1" in
    --ci) mode=ci; shift ;;
    --scenario) scenario=1; shift ;;
    --seeds) mode=seeds; shift ;;
    --time) max_time="$2"; shift 2 ;;
    --runs) max_runs="$2"; shift 2 ;;
    -B) build="$2"; shift 2 ;;
    *) echo "usage: scripts/fuzz.sh [--ci | --seeds | --scenario] [--time s] [--runs n] [-B build-folder]" >&2; exit 2 ;;
  esac
done

scripts/deps.sh clang libclang-rt-14-dev
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target zelm_entries_fuzz zelm_fuzz_seeds zelm_sim_scenario_fuzz >&2

fuzzer="$build/fuzz/zelm_entries_fuzz"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
flags=(-max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
mkdir -p "$build/artifacts"

case "$mode" in
  seeds)
    rm -f fuzz/corpus/*
    mkdir -p fuzz/corpus
    "$build/fuzz/zelm_fuzz_seeds" fuzz/corpus
    ;;
  ci)
    # A copy, so that what the run adds stays out of the repository.
    run_corpus="$build/corpus-ci"
    rm -rf "$run_corpus"
    mkdir -p "$run_corpus"
    cp fuzz/corpus/* "$run_corpus/"
    "$fuzzer" "${flags[@]}" -max_total_time=60 -artifact_prefix="$build/artifacts/" "$run_corpus"
    # zelm-sim's scenario reader, from the examples.
    rm -rf "$run_corpus-scenario"
    mkdir -p "$run_corpus-scenario"
    cp examples/*.yaml "$run_corpus-scenario/"
    "$build/fuzz/zelm_sim_scenario_fuzz" "${flags[@]}" -max_total_time=60 -artifact_prefix="$build/artifacts/scenario-" \
      "$run_corpus-scenario"
    ;;
  long)
    if [ "$scenario" = 1 ]; then
      fuzzer="$build/fuzz/zelm_sim_scenario_fuzz"
      mkdir -p "$build/corpus-scenario"
      cp -n examples/*.yaml "$build/corpus-scenario/" 2>/dev/null || true
      runs_flag=()
      if [ "$max_runs" -gt 0 ]; then runs_flag=(-runs="$max_runs"); fi
      "$fuzzer" "${flags[@]}" -max_total_time="$max_time" "${runs_flag[@]}" -artifact_prefix="$build/artifacts/scenario-" \
        "$build/corpus-scenario" 2>"$build/fuzz-scenario.log" || { tail -n 60 "$build/fuzz-scenario.log" >&2; exit 1; }
      grep -E '^(Done|stat::)' "$build/fuzz-scenario.log" >&2
      exit 0
    fi
    mkdir -p "$build/corpus"
    cp -n fuzz/corpus/* "$build/corpus/" 2>/dev/null || true
    echo "command: $fuzzer ${flags[*]} -max_total_time=$max_time -runs=$max_runs $build/corpus" >"$build/fuzz.log"
    runs_flag=()
    if [ "$max_runs" -gt 0 ]; then runs_flag=(-runs="$max_runs"); fi
    "$fuzzer" "${flags[@]}" -max_total_time="$max_time" "${runs_flag[@]}" -artifact_prefix="$build/artifacts/" \
      "$build/corpus" 2>>"$build/fuzz.log" || { tail -n 60 "$build/fuzz.log" >&2; exit 1; }
    grep -E '^(Done|stat::)' "$build/fuzz.log" >&2
    ;;
esac
