#!/usr/bin/env bash
# Installs the release build into a temporary prefix, then builds and runs the C host
# example against it twice: through find_package and through pkg-config.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$prefix" >/dev/null

echo "== C host through find_package =="
cmake -S examples/c_host -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
LD_LIBRARY_PATH="$prefix/lib:$prefix/lib/x86_64-linux-gnu" "$work/cmake/zelm_c_host" 2>/dev/null

echo "== C host through pkg-config =="
pcdir=$(dirname "$(find "$prefix" -name zelm.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs zelm zelm-platform)
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Wpedantic -Werror examples/c_host/main.c $flags -o "$work/c_host_pc"
LD_LIBRARY_PATH="$pcdir/.." "$work/c_host_pc" 2>/dev/null
