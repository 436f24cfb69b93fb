#!/usr/bin/env bash
# The test signing material, made by the build into the build folder and never committed:
#   test_pki.sh make DIR          roots and leaves (once; reruns keep them)
#   test_pki.sh sign DIR NAME IN OUT   signs IN with leaf NAME into OUT (osslsigncode, SHA-256)
#   test_pki.sh pad-sign DIR NAME FILE SIZE   drops FILE's signature, pads it with zeros to
#                                            SIZE (truncate's units) and signs it again
#
# In DIR: <name>.key, <name>.pem, <name>.der and <name>.sha256 (the SHA-256 thumbprint, upper
# case hex) for
#   rootA   "Vellumora Test Root A", trusted in the test and demo prefixes
#   leafA   code signing, issued by rootA: the product's signer in tests and the demo
#   leafAServer   server authentication only, issued by rootA
#   rootB, leafB  an unrelated root (trusted in the test prefix) and its code-signing leaf
#   rootC, leafC  a root nobody trusts and its code-signing leaf
set -euo pipefail

make_pki() {
  local dir=$1
  mkdir -p "$dir"
  if [ -f "$dir/pki.stamp" ]; then
    return
  fi
  local days=3650
  cat >"$dir/ext.cnf" <<'CNF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[codesign]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
  root() { # name common-name
    openssl req -x509 -new -newkey rsa:2048 -nodes -sha256 -days $days -subj "/O=Vellumora Tests/CN=$2" \
      -keyout "$dir/$1.key" -out "$dir/$1.pem" -config "$dir/ext.cnf" -extensions root 2>/dev/null
  }
  leaf() { # name common-name issuer extension-section
    openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "/O=Vellumora Tests/CN=$2" -config "$dir/ext.cnf" \
      -keyout "$dir/$1.key" -out "$dir/$1.csr" 2>/dev/null
    openssl x509 -req -in "$dir/$1.csr" -CA "$dir/$3.pem" -CAkey "$dir/$3.key" -set_serial "0x$(openssl rand -hex 8)" \
      -sha256 -days $days -extfile "$dir/ext.cnf" -extensions "$4" -out "$dir/$1.pem" 2>/dev/null
    rm -f "$dir/$1.csr"
  }
  root rootA "Vellumora Test Root A"
  leaf leafA "Vellumora Test Signer A" rootA codesign
  leaf leafAServer "Vellumora Test Server A" rootA server
  root rootB "Unrelated Test Root B"
  leaf leafB "Unrelated Test Signer B" rootB codesign
  root rootC "Untrusted Test Root C"
  leaf leafC "Untrusted Test Signer C" rootC codesign
  local name
  for name in rootA leafA leafAServer rootB leafB rootC leafC; do
    openssl x509 -in "$dir/$name.pem" -outform DER -out "$dir/$name.der"
    sha256sum "$dir/$name.der" | cut -c1-64 | tr 'a-f' 'A-F' >"$dir/$name.sha256"
  done
  touch "$dir/pki.stamp"
}

issuer_of() {
  case $1 in
    leafA | leafAServer) echo rootA ;;
    leafB) echo rootB ;;
    leafC) echo rootC ;;
    *) echo "test_pki.sh: unknown leaf $1" >&2; exit 2 ;;
  esac
}

sign_file() { # dir leaf in out
  local dir=$1 leaf=$2 in=$3 out=$4
  # A chain file of this signing's own: the build signs several files at once with one leaf,
  # and a shared one would be rewritten under another signing's feet.
  local chain="$out.chain.pem"
  cat "$dir/$leaf.pem" "$dir/$(issuer_of "$leaf").pem" >"$chain"
  local tmp="$out.signing"
  rm -f "$tmp"
  osslsigncode sign -certs "$chain" -key "$dir/$leaf.key" -h sha256 -n "Vellumora" -in "$in" -out "$tmp" >/dev/null
  rm -f "$chain"
  mv -f "$tmp" "$out"
}

pad_sign() { # dir leaf file size
  local dir=$1 leaf=$2 file=$3 size=$4
  local bare="$file.unsigned"
  rm -f "$bare"
  osslsigncode remove-signature -in "$file" -out "$bare" >/dev/null 2>&1 || cp "$file" "$bare"
  truncate -s "$size" "$bare"
  sign_file "$dir" "$leaf" "$bare" "$file"
  rm -f "$bare"
}

case ${1:-} in
  make) make_pki "$2" ;;
  sign) make_pki "$2" && sign_file "$2" "$3" "$4" "$5" ;;
  pad-sign) make_pki "$2" && pad_sign "$2" "$3" "$4" "$5" ;;
  *) echo "usage: $0 make DIR | sign DIR LEAF IN OUT | pad-sign DIR LEAF FILE SIZE" >&2; exit 2 ;;
esac
