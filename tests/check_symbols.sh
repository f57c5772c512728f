#!/usr/bin/env bash
# Compares the dynamic symbols libzelm.so defines with those of its Debian symbols file
# (abi/libzelm.symbols), and checks that the library defines no platform symbol.
set -euo pipefail
lib="$1"
expected=$(awk '$1 ~ /@Base$/ {sub(/@Base$/, "", $1); print $1}' "$2" | sort)

# Sanitizer builds add their own markers (ASan's ODR indicators); they are not the library's.
actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | grep -vE '^(_init|_fini|__odr_asan\..*)$' | sort)

status=0
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
if [ -n "$missing" ]; then
  echo "exported from the list but not defined by $lib:"; echo "$missing"; status=1
fi
if [ -n "$extra" ]; then
  echo "defined by $lib but not in the list:"; echo "$extra"; status=1
fi
platform=$(echo "$actual" | grep -E '^(LORN_|AXO_|QOF_|KORM_|MIRL_|memcpy_s$|memset_s$|strcpy_s$)' || true)
if [ -n "$platform" ]; then
  echo "platform symbols defined by the library:"; echo "$platform"; status=1
fi
if [ "$status" -eq 0 ]; then
  echo "$(echo "$actual" | wc -l) symbols, as listed"
fi
exit "$status"
