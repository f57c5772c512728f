#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, and only those that are missing
# (Chromium opens zelm-sim's timeline page in the test suite, scripts/timeline-page.sh).
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev librapidcheck-dev
  libyaml-cpp-dev libcli11-dev nlohmann-json3-dev libfmt-dev
  python3-jsonschema python3-yaml
  chromium parallel
  "$@"
)

# One query for all of them: the scripts that build run this every time.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null | sed -n 's/ install ok installed$//p' || true)
missing=()
for p in "${packages[@]}"; do
  if ! grep -qxF "$p" <<<"$installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}" >&2
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
