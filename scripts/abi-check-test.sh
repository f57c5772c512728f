#!/usr/bin/env bash
# Shows that scripts/abi.sh catches layout changes: against a copy of the baselines in which one
# field of ZelmCompCb has moved and KORM_KorbCb has grown, it must fail and name both.
set -euo pipefail
cd "$(dirname "$0")/.."
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp abi/* "$copy/"

sed -i "/<class-decl name='ZelmCompCb'/,/<\/class-decl>/ s/layout-offset-in-bits='128'/layout-offset-in-bits='192'/" \
  "$copy/libzelm.abi"
sed -i "s/<class-decl name='KORM_KorbCb' size-in-bits='64'/<class-decl name='KORM_KorbCb' size-in-bits='128'/" \
  "$copy/platform.abi"
for name in libzelm platform; do
  if cmp -s "abi/$name.abi" "$copy/$name.abi"; then
    echo "FAIL: abi/$name.abi no longer has the layout this test edits; adapt the test" >&2
    exit 1
  fi
done

if scripts/abi.sh --baselines "$copy" >"$copy/report" 2>/dev/null; then
  echo "FAIL: the check passed against baselines with edited layouts" >&2
  exit 1
fi
for name in smoothTimer KORM_KorbCb; do
  if ! grep -q "$name" "$copy/report"; then
    echo "FAIL: the check's report does not name $name:" >&2
    cat "$copy/report" >&2
    exit 1
  fi
done
echo "ABI check: both layout changes reported"
