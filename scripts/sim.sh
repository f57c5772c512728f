#!/usr/bin/env bash
# Builds zelm-sim (release preset) when it is not up to date and runs it in the caller's folder, so that every
# path given to it (the scenario, --json, --html, --log, --trace, --out) is the caller's; with no argument it
# runs the built-in scenario. ZELM_SIM_PRESET names another preset to build and run (dev, asan, ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
preset=${ZELM_SIM_PRESET:-release}
source "$root/scripts/lib/quiet-build.sh"
"$root/scripts/deps.sh"
quiet_build "$root" "$preset" zelm-sim zelm-sim
exec "$root/build/$preset/tools/sim/zelm-sim" "$@"
