#!/usr/bin/env bash
# Measures the test suite's line and branch coverage of libzelm.so (coverage preset, gcov + gcovr).
#
#   scripts/coverage.sh                  build in build/coverage, run every test, report
#   scripts/coverage.sh -B /tmp/cov      another build folder
#   scripts/coverage.sh -- -R 'Comp'     flags after -- go to ctest
#
# Only the library's own folders are counted (core containers infra config
# link location comp): the stand-in, the tests and the tools are not. Branches
# the compiler adds for exceptions and branches it proves unreachable are left
# out; the library is built without exceptions. The summary is printed, and an
# HTML report with a page per source file is written to <build>/html/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=build/coverage
ctest_flags=()
while [ $# -gt 0 ]; do
  case "$1" in
    -B) build="$2"; shift 2 ;;
    --) shift; ctest_flags=("$@"); break ;;
    *) echo "usage: scripts/coverage.sh [-B build-folder] [-- ctest flags]" >&2; exit 2 ;;
  esac
done

scripts/deps.sh gcovr

cmake --preset coverage -B "$build" >/dev/null
cmake --build "$build" -j2 >&2

# Counters add up across runs: start from zero so the report is this run's. The
# exported-symbol check is left out: gcov adds symbols of its own to the library.
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j2 --output-on-failure -E '^exported_symbols$' "${ctest_flags[@]}" >&2 || status=$?

filters=()
for dir in core containers infra config link location comp; do
  filters+=(--filter "$root/$dir/")
done
mkdir -p "$build/html"
gcovr --root "$root" "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
  --gcov-ignore-parse-errors --json "$build/coverage.json" "$build" >/dev/null
gcovr --add-tracefile "$build/coverage.json" --txt "$build/lines.txt" --html-details "$build/html/index.html" \
  --print-summary
gcovr --add-tracefile "$build/coverage.json" --branches --txt "$build/branches.txt" >/dev/null
echo "Per file: $build/lines.txt (lines), $build/branches.txt (branches)" >&2
echo "HTML report: $build/html/index.html" >&2
exit "${status:-0}"
