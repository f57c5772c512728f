#!/usr/bin/env bash
# Installs the release build into a temporary prefix, then builds and runs the C host
# example against it twice: through find_package and through pkg-config.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/c-host.sh
scripts/deps.sh
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$prefix" >/dev/null

pcdir=$(dirname "$(find "$prefix" -name zelm.pc | head -n 1)")
# run_installed EXE: runs it on the prefix's libraries, in the folder that holds pkgconfig/
run_installed() {
  LD_LIBRARY_PATH="$pcdir/.." "$1" 2>/dev/null
}
c_host_check "$prefix" "$pcdir" "$work" run_installed
