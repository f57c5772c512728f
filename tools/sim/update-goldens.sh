#!/usr/bin/env bash
# Regenerates the JSON goldens of zelm-sim (tests/sim/golden/): the built-in scenario and every example.
# Usage: tools/sim/update-goldens.sh [path/to/zelm-sim]   (default: build/dev/tools/sim/zelm-sim)
# Review the diff before committing: a changed golden is a changed behaviour.
set -euo pipefail
cd "$(dirname "$0")/../.."
sim="${1:-build/dev/tools/sim/zelm-sim}"
mkdir -p tests/sim/golden
"$sim" --quiet --json tests/sim/golden/builtin.json
for f in examples/*.yaml; do
  "$sim" --quiet --json "tests/sim/golden/$(basename "$f" .yaml).json" "$f"
done
git status --short tests/sim/golden
