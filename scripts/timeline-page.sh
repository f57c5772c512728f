#!/usr/bin/env bash
# zelm-sim's timeline page in a real browser (headless Chromium, which scripts/deps.sh installs):
#   scripts/timeline-page.sh check ZELM_SIM   opens the built-in scenario's page; fails on a console message,
#                                             a reference to anything outside the file, a node without a lane,
#                                             or n3's lane without its drift's reason and the mark of its cause
#   scripts/timeline-page.sh screenshot       regenerates docs/timeline.png from the built-in scenario's page, and
#                                             docs/reproducer.png from the page of a reproducer explore writes
#   scripts/timeline-page.sh sizes ZELM_SIM   the pages' sizes, time and memory docs/zelm-sim.md and
#                                             docs/performance.md give (use a release build)
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
  if grep -Eno 'src=|href="[^#]|@import|url\([^#]' "$work/page.html"; then
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
    if ! grep -Eq "<g class=\"lane\" data-node=\"$node\"[ >]" "$work/dom.html"; then
      echo "node $node has no lane in the page's DOM" >&2
      failed=1
    fi
  done
  if [ "$(grep -o '<g class="lane"' "$work/dom.html" | wc -l)" -ne "$(echo "$nodes" | wc -w)" ]; then
    echo "the DOM holds another number of lanes than the scenario has nodes" >&2
    failed=1
  fi
  # n3 keeps the components of index 6 after batch-6 moved to index 16 at 20 s: its lane says so in the chart,
  # and marks the move at 20 s, where the axis has 20 s.
  local lane tick mark
  lane=$(perl -0ne 'print $1 if /(<g class="lane" data-node="n3".*?)(<g class="lane"|<g class="events")/s' "$work/dom.html")
  if ! grep -q 'class="reason"[^>]*>forgotten: index 6 moved to 16' <<<"$lane"; then
    echo "n3's lane does not give the reason of its drift" >&2
    failed=1
  fi
  if ! grep -q '<g class="cause"[^>]* data-at="20000"><title>20.000 s: index 6 moved to 16' <<<"$lane"; then
    echo "n3's lane has no mark at 20 s that names the index move" >&2
    failed=1
  fi
  tick=$(grep -o '<text x="[0-9.]*" y="[0-9.]*">20</text>' "$work/dom.html" | head -1 | sed 's/<text x="\([0-9.]*\)".*/\1/')
  mark=$(grep -o '<path class="m-cause" d="M[0-9.]*' <<<"$lane" | head -1 | sed 's/.*d="M//')
  if [ -z "$tick" ] || [ "$tick" != "$mark" ]; then
    echo "the mark of the move stands at x=$mark, the axis has 20 s at x=$tick" >&2
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
  browser --hide-scrollbars --window-size=1500,760 --screenshot="$root/docs/timeline.png" "file://$work/page.html" 2>/dev/null
  echo "wrote docs/timeline.png"
  # A reproducer's page: the withdrawal explore finds lost on the built-in scenario, shrunk to a story.
  sim=$(realpath "$sim")
  (cd "$work" && "$sim" explore -q --runs 20 --seed 1 --out findings)
  browser --hide-scrollbars --window-size=1500,600 --screenshot="$root/docs/reproducer.png" \
    "file://$work/findings/extra-withdrawal-lost.html" 2>/dev/null
  echo "wrote docs/reproducer.png"
}

sizes() {
  local sim=$1 n scenario
  "$root/scripts/deps.sh" time
  # 10 nodes of 100 locations whose agents refuse every call for an hour, and 60 nodes of 10 locations whose
  # agents stay down for ten minutes; one component per location.
  {
    echo "generate: {nodes: 10, locationsPerNode: 100, componentTypes: 1, componentsPerLocation: 1}"
    echo "timeline:"
    for n in $(seq -w 1 10); do echo "  - {at: 0, agent: {node: node-$n, refuse: 100000000}}"; done
    for n in $(seq -w 1 10); do echo "  - {at: 1h, agent: {node: node-$n, refuse: 0}}"; done
  } >"$work/refusing.yaml"
  {
    echo "generate: {nodes: 60, locationsPerNode: 10, componentTypes: 1, componentsPerLocation: 1}"
    echo "timeline:"
    for n in $(seq -w 1 60); do echo "  - {at: 0, agent: {node: node-$n, downFor: 10m}}"; done
  } >"$work/down.yaml"
  echo "scenario: requests; page; without --html: wall, peak RSS; with it: wall, peak RSS"
  for scenario in built-in "$root/examples/agent-outage.yaml" "$root/examples/large.yaml" "$work/refusing.yaml" \
    "$work/down.yaml"; do
    local args=()
    [ "$scenario" = built-in ] || args=("$scenario")
    /usr/bin/time -o "$work/without" -f "%e s, %M KB" "$sim" -q --json "$work/report.json" "${args[@]}"
    /usr/bin/time -o "$work/with" -f "%e s, %M KB" "$sim" -q --html "$work/page.html" "${args[@]}"
    echo "$(basename "$scenario"): $(grep -o '"requests": [0-9]*' "$work/report.json" | tail -1 | sed 's/.*: //')" \
      "requests; $(stat -c %s "$work/page.html") bytes; $(cat "$work/without"); $(cat "$work/with")"
  done
}

case "${1:-}" in
  check) check "${2:?give the zelm-sim program to check}" ;;
  screenshot) screenshot "${2:-}" ;;
  sizes) sizes "${2:?give the zelm-sim program to measure}" ;;
  *) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
