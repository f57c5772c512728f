# shellcheck shell=bash
# Sourced by scripts/sim.sh and scripts/test.sh: a preset configured and built quietly. Nothing is shown when
# there is nothing to build, one line when there is, and the build's whole output when it fails.

# quiet_build ROOT PRESET WHAT [TARGET...]: builds TARGETs (all without one) of PRESET in the repository ROOT;
# WHAT names them in the one line. Returns the build's exit status.
quiet_build() {
  local root=$1 preset=$2 what=$3 work status=0 target
  shift 3
  local targets=()
  for target in "$@"; do targets+=(--target "$target"); done
  work=$(mktemp -d)
  if [ ! -f "$root/build/$preset/CMakeCache.txt" ]; then
    echo "building $what ($preset) …" >&2
    : >"$work/said"
    (cd "$root" && cmake --preset "$preset") >"$work/log" 2>&1 || status=$?
  fi
  # Make names each target it finds up to date ("Built target x"), and merges the dependencies the compiler
  # found in the build before ("Consolidate compiler generated dependencies"); any other line means work.
  if [ "$status" -eq 0 ]; then
    (cd "$root" && cmake --build --preset "$preset" "${targets[@]}") 2>&1 | {
      while IFS= read -r line; do
        printf '%s\n' "$line" >>"$work/log"
        case $line in
          *"Built target "* | "Consolidate compiler generated dependencies of target "*) ;;
          *) if [ ! -e "$work/said" ]; then
               echo "building $what ($preset) …" >&2
               : >"$work/said"
             fi ;;
        esac
      done
    } || status=$?
  fi
  if [ "$status" -ne 0 ]; then
    cat "$work/log" >&2
  fi
  rm -rf "$work"
  return "$status"
}
