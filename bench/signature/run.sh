#!/usr/bin/env bash
# The signature check on a 30 MB package under Wine: five fresh processes, each timing its
# first check (what an installation pays) and a second one. Needs a build (scripts/test.sh).
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
trap vlm_stop EXIT
vlm_wine_prefix
vlm_start_wineserver
PKI=$VLM_BUILD/signing/pki
work=$(mktemp -d)
cp "$VLM_BUILD/bin/vlm_scripted_child.exe" "$work/package.exe"
"$VLM_ROOT/tools/signing/test_pki.sh" pad-sign "$PKI" leafA "$work/package.exe" 30M
wine "$VLM_BUILD/bin/vlm_trust_root.exe" "Z:${PKI//\//\\}\\rootA.der" </dev/null
echo "package: $(stat -c %s "$work/package.exe") bytes; SHA-256 of the file on the host:"
/usr/bin/time -f "   sha256sum: %e s" sha256sum "$work/package.exe" >/dev/null
for _ in 1 2 3 4 5; do
  wine "$VLM_BUILD/bin/vlm_signature_bench.exe" "Z:${work//\//\\}\\package.exe" "$(cat "$PKI/rootA.sha256")" </dev/null \
    | tr -d '\r' | sed 's/;.*//'
done
rm -rf "$work"
