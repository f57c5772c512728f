# shellcheck shell=bash
# Sourced by scripts/check-install.sh and scripts/package.sh: the C host example built against an
# installed libzelm, the same way for an install prefix and for the Debian packages.

c_host_source="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/examples/c_host"

# c_host_check PREFIX PCDIR WORK RUN: builds examples/c_host into WORK against the libzelm installed
# under PREFIX, once through find_package and once through pkg-config with the .pc files of PCDIR,
# and has the command RUN run each executable (its one argument).
c_host_check() {
  local prefix=$1 pcdir=$2 work=$3 run=$4 flags
  echo "== C host through find_package"
  cmake -S "$c_host_source" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/cmake" >/dev/null
  "$run" "$work/cmake/zelm_c_host"

  echo "== C host through pkg-config"
  flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs zelm zelm-platform)
  # shellcheck disable=SC2086
  cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$c_host_source/main.c" $flags -o "$work/c_host_pc"
  "$run" "$work/c_host_pc"
}
