#!/usr/bin/env bash
# zelm-sim's timeline page in a real browser (headless Chromium, which scripts/deps.sh installs):
#   scripts/timeline-page.sh check ZELM_SIM   opens the built-in scenario's page; fails on a console message,
#                                             a reference to anything outside the file, or a node without a lane
#   scripts/timeline-page.sh screenshot       regenerates docs/timeline.png from the built-in scenario's page
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A fresh profile each time, nothing that reaches the network on its own.
browser() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" "$@"
}

check() {
  local sim=$1 failed=0
  # Chromium reserves far more address space than it uses: under a limit (a mutation run sets one)
  # it cannot start. 77 tells ctest the check was skipped, not passed.
  if [ "$(ulimit -v)" != unlimited ]; then
    echo "skipped: Chromium cannot start under the address-space limit of $(ulimit -v) KB" >&2
    exit 77
  fi
  # The check runs inside ctest, which installs nothing: scripts/test.sh and CI run scripts/deps.sh first.
  if ! command -v chromium >/dev/null; then
    echo "skipped: Chromium is not installed (scripts/deps.sh installs it)" >&2
    exit 77
  fi
  "$sim" -q --html "$work/page.html"
  if grep -Eno 'src=|href=|@import|url\([^#]' "$work/page.html"; then
    echo "the page refers to something outside itself" >&2
    failed=1
  fi
  browser --enable-logging=stderr --v=0 --dump-dom "file://$work/page.html" >"$work/dom.html" 2>"$work/browser.log"
  # The page has no script: any console message is a fault of the page.
  if grep -F ':CONSOLE' "$work/browser.log"; then
    echo "the browser's console reported the lines above" >&2
    failed=1
  fi
  local nodes
  nodes=$("$sim" --print-builtin | sed -n 's/^ *- {name: \([^,]*\),.*/\1/p')
  for node in $nodes; do
    if ! grep -q "<g class=\"lane\" data-node=\"$node\">" "$work/dom.html"; then
      echo "node $node has no lane in the page's DOM" >&2
      failed=1
    fi
  done
  if [ "$(grep -o '<g class="lane"' "$work/dom.html" | wc -l)" -ne "$(echo "$nodes" | wc -w)" ]; then
    echo "the DOM holds another number of lanes than the scenario has nodes" >&2
    failed=1
  fi
  return $failed
}

screenshot() {
  "$root/scripts/deps.sh"
  local sim=${1:-}
  if [ -z "$sim" ]; then
    "$root/scripts/sim.sh" --version >/dev/null
    sim=$root/build/release/tools/sim/zelm-sim
  fi
  "$sim" -q --html "$work/page.html"
  browser --hide-scrollbars --window-size=1360,800 --screenshot="$root/docs/timeline.png" "file://$work/page.html" 2>/dev/null
  echo "wrote docs/timeline.png"
}

case "${1:-}" in
  check) check "${2:?give the zelm-sim program to check}" ;;
  screenshot) screenshot "${2:-}" ;;
  *) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
