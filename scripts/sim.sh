#!/usr/bin/env bash
# Builds zelm-sim (release preset) and runs it; with no argument it runs the built-in scenario.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zelm-sim >&2
exec build/release/tools/sim/zelm-sim "$@"
