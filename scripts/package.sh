#!/usr/bin/env bash
# Builds the Debian packages libzelm1, libzelm-dev and zelm-tools from the release build
# (build/release, made here when it is missing, and reused when it is there).
#
#   scripts/package.sh           writes the .deb files to build/package/debs/
#   scripts/package.sh --check   then installs them with apt-get, builds and runs examples/c_host
#                                against them through find_package and through pkg-config, and
#                                removes them again, whatever the outcome
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/c-host.sh

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: scripts/package.sh [--check]" >&2; exit 2 ;;
esac

scripts/deps.sh dpkg-dev file
build=build/release
debs=$(pwd)/build/package/debs
# The packages install under /usr (their libraries in the multiarch folder). The prefix compiles into
# nothing, so the release build only has its install rules made again; its prefix is put back after.
prefix_before=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt" 2>/dev/null || true)
cmake --preset release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build --preset release >&2
rm -rf "$debs"
(cd "$build" && cpack -B "$debs" >&2)
rm -rf "$debs/_CPack_Packages"
cmake --preset release -DCMAKE_INSTALL_PREFIX="${prefix_before:-/usr/local}" >/dev/null
for deb in "$debs"/*.deb; do
  echo "== $deb"
  dpkg-deb --field "$deb" Package Version Depends
done
[ "$check" -eq 1 ] || exit 0

packages=(libzelm1 libzelm-dev zelm-tools)
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
# remove_packages: purges those of ours that are installed (a run cut short may have left them)
remove_packages() {
  local installed
  installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${packages[@]}" 2>/dev/null | awk '$1 != "un" {print $2}' || true)
  if [ -n "$installed" ]; then
    # shellcheck disable=SC2086
    "${sudo_cmd[@]}" dpkg --purge $installed >/dev/null
  fi
}
work=$(mktemp -d)
trap 'remove_packages; rm -rf "$work"' EXIT
remove_packages
# apt reads the files as its own user.
cp "$debs"/*.deb "$work/"
chmod 755 "$work"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "$work"/*.deb >/dev/null

# run_host EXE: runs it, and shows that it ran on the packaged libraries, not on another install
run_host() {
  local lib path
  "$1" 2>/dev/null
  for lib in libzelm.so.1 libzelm_platform.so.1; do
    path=$(ldd "$1" | awk -v lib="$lib" '$1 == lib {print $3}')
    dpkg -S "$(readlink -f "$path")"
  done
}
pcdir=$(dirname "$(dpkg -L libzelm-dev | grep '/zelm\.pc$')")
c_host_check /usr "$pcdir" "$work" run_host

cd "$work"

echo "== what a host package of it would depend on (dpkg-shlibdeps)"
mkdir debian
touch debian/control
depends=$(dpkg-shlibdeps -O c_host_pc 2>/dev/null)
echo "$depends"
grep -q "libzelm1 (>= " <<<"$depends"
