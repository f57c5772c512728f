#!/usr/bin/env bash
# scripts/sim.sh run as a user runs it, from a folder of their own: the scenario and every output are theirs,
# and a run with nothing to build says nothing about building.
# Usage: tests/sim/sim_script_check.sh PRESET BUILD_DIR   (exits 77, skipped, when BUILD_DIR is not PRESET's)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
preset=$1
if [ "$(cd "$2" && pwd -P)" != "$(cd "$root/build/$preset" 2>/dev/null && pwd -P)" ]; then
  echo "skipped: $2 is not the build tree of a preset" >&2
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sub"
cp "$root/examples/basic.yaml" "$work/my.yaml"
sim() { ZELM_SIM_PRESET=$preset "$root/scripts/sim.sh" "$@"; }
failed=0
fail() { echo "FAILED: $*" >&2; failed=1; }

cd "$work"
sim my.yaml --html out.html -q 2>"$work/first.err" || fail "a run from the caller's folder: $(cat "$work/first.err")"
[ -s out.html ] || fail "--html out.html was not written into the caller's folder"
cd sub
sim ../my.yaml -q --json out.json --log run.log --trace run.trace 2>"$work/second.err" || fail "a run from a subfolder"
for f in out.json run.log run.trace; do
  [ -s "$f" ] || fail "$f was not written into the caller's folder"
done
[ ! -s "$work/second.err" ] || fail "a run with nothing to build wrote to stderr: $(cat "$work/second.err")"
sim explore ../my.yaml --runs 2 --jobs 1 -q --out findings || fail "explore from a subfolder"
[ -d findings ] || fail "explore --out findings was not made in the caller's folder"
exit "$failed"
