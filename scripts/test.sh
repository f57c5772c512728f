#!/usr/bin/env bash
# Builds the project with the dev preset (quietly, see scripts/lib/quiet-build.sh) and runs the whole test
# suite; arguments go to ctest (-R sim, --output-on-failure, ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/lib/quiet-build.sh"
"$root/scripts/deps.sh"
quiet_build "$root" dev "libzelm, zelm-sim and the tests"
cd "$root"
ctest --preset dev "$@"
