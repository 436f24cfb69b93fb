#!/usr/bin/env bash
# A program made ready for signing (pe_sign_ready.py), signed with the test key and stripped
# of its signature again, must be byte for byte what it was: how a signed release is compared
# with a rebuild. The preparation must leave a ready program as it is.
#   sign_round_trip_test.sh PROGRAM PE_SIGN_READY TEST_PKI_SCRIPT PKI_DIR
set -euo pipefail
program=$1 ready=$2 pki=$3 pki_dir=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cp "$program" "$tmp/ready.exe"
python3 "$ready" "$tmp/ready.exe"
cp "$tmp/ready.exe" "$tmp/again.exe"
python3 "$ready" "$tmp/again.exe"
cmp "$tmp/ready.exe" "$tmp/again.exe"
[ $(($(stat -c %s "$tmp/ready.exe") % 8)) -eq 0 ] || { echo "not padded to 8 bytes"; exit 1; }

bash "$pki" sign "$pki_dir" leafA "$tmp/ready.exe" "$tmp/signed.exe"
osslsigncode verify -CAfile "$pki_dir/rootA.pem" -in "$tmp/signed.exe" >/dev/null
osslsigncode remove-signature -in "$tmp/signed.exe" -out "$tmp/unsigned.exe" >/dev/null
cmp "$tmp/ready.exe" "$tmp/unsigned.exe"
echo "signed and unsigned again: the same $(stat -c %s "$tmp/ready.exe") bytes"
