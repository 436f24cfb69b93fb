#!/usr/bin/env bash
# The release's signing steps on programs the test build already made (a full release build
# takes minutes): a stage as `release.sh --unsigned` leaves it, then
#   token   `release.sh --sign` with the key in a SoftHSM2 token (PKCS#11), chain from the token
#   adopt   files signed elsewhere (the test PKI) taken back by `release.sh --adopt`; a file
#           with anything more than a signature refused; an unpinned build refused, then
#           released on purpose and saying so first
#   sbom    the bill of materials of those programs against the published CycloneDX schema
# Exit 77: skipped (the line before says why).
# Each signs the MSI built from the signed programs too (adopt: once adopted, in a second round).
#   release_signing_test.sh MODE RELEASE_SH PROGRAM PROGRAM_INTL MSI_ACTIONS PKI_SCRIPT PKI_DIR ARCH DEPS_PREFIX SCHEMA_DIR
set -euo pipefail
mode=$1 release=$2 program=$3 program_intl=$4 actions=$5 pki=$6 pki_dir=$7 arch=$8 deps_prefix=$9 schema_dir=${10}
root=$(cd "$(dirname "$release")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export VLM_RELEASE_WORK=$tmp/work VLM_RELEASE_DIST=$tmp/dist VLM_DEPS_DIR=${deps_prefix%/*/prefix}
unset VLM_SIGN_CERT VLM_SIGN_KEY VLM_SIGN_PFX VLM_SIGN_PASSWORD VLM_RELEASE_UNPINNED
thumbprint=$(cat "$pki_dir/leafA.sha256")
# The npm package whose schemas the bill of materials is checked against.
CYCLONEDX_LIBRARY=10.3.0
schema_dir=$schema_dir/$CYCLONEDX_LIBRARY

fail() {
  echo "FAIL: $*"
  exit 1
}

if [ "$mode" != sbom ] && { ! command -v wixl >/dev/null || ! command -v faketime >/dev/null; }; then
  echo "SKIPPED: wixl or faketime is not installed (packages wixl msitools faketime; scripts/setup-system.sh installs them)"
  exit 77
fi

# The stage --unsigned leaves: sign-ready programs, what the build knew, the components.
stage=$VLM_RELEASE_WORK/stage
mkdir -p "$stage/dist/symbols"
# Stripped as a release strips them: the test build's debug information would only slow
# every signature and hash here.
"$arch-w64-mingw32-strip" --strip-all -o "$stage/dist/VellumoraInstaller.exe" "$program"
"$arch-w64-mingw32-strip" --strip-all -o "$stage/dist/VellumoraInstaller-intl.exe" "$program_intl"
"$arch-w64-mingw32-strip" --strip-all -o "$stage/dist/VellumoraMsiActions.dll" "$actions"
python3 "$root/scripts/pe_sign_ready.py" "$stage/dist"/*.exe "$stage/dist"/*.dll
mkdir -p "$stage/msi"
cp "$root/scripts/build-msi.sh" "$root/src/msi/Vellumora.wxs.in" "$stage/msi/"
echo "debug" >"$stage/dist/symbols/VellumoraInstaller.exe.debug"
write_env() { # pin
  printf 'COMMIT=%s\nSOURCE_DATE_EPOCH=1765000000\nVERSION=1.0.0\nENDPOINT=http://dl.example.test\nPIN=%s\n' \
    "$(printf '%040d' 7)" "$1" >"$stage/release.env"
}
write_env "$thumbprint"
echo "test toolchain" >"$stage/built-with.txt"
bash "$root/scripts/build-deps.sh" --sources >"$stage/sources.txt"
python3 "$root/scripts/sbom.py" components --arch "$arch" --deps-prefix "$deps_prefix" \
  --sources "$stage/sources.txt" --tarballs "$VLM_DEPS_DIR/sources" >"$stage/components.json"

# A finished dist: every signature verifies against the test root, README names the signer,
# the sums check.
check_dist() { # what
  local name
  for name in VellumoraInstaller.exe VellumoraInstaller-intl.exe VellumoraMsiActions.dll VellumoraInstaller.msi; do
    osslsigncode verify -CAfile "$pki_dir/rootA.pem" -in "$tmp/dist/$name" >"$tmp/verify.log" 2>&1 ||
      fail "$1: $name does not verify: $(cat "$tmp/verify.log")"
  done
  # The MSI is listed like the programs.
  grep -q ' VellumoraInstaller.msi$' "$tmp/dist/SHA256SUMS" || fail "$1: the MSI is not in SHA256SUMS"
  grep -q '"VellumoraInstaller.msi"' "$tmp/dist/sbom.cdx.json" || fail "$1: the MSI is not in the bill of materials"
  grep -q "signer certificate SHA-256 $thumbprint" "$tmp/dist/README.txt" ||
    fail "$1: README.txt does not name the signer: $(cat "$tmp/dist/README.txt")"
  (cd "$tmp/dist" && sha256sum -c SHA256SUMS) | sed 's/^/    /'
  grep -q ' sbom.cdx.json$' "$tmp/dist/SHA256SUMS" || fail "$1: no bill of materials"
  echo "$1: signed by $thumbprint, verified, sums check"
}

case $mode in
  token)
    module=""
    for candidate in /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so; do
      [ -f "$candidate" ] && module=$candidate && break
    done
    if [ -z "$module" ] || ! command -v softhsm2-util >/dev/null || ! command -v pkcs11-tool >/dev/null ||
      ! compgen -G "/usr/lib/*/engines-3/pkcs11.so" >/dev/null; then
      echo "SKIPPED: SoftHSM2, OpenSC's pkcs11-tool or the OpenSSL PKCS#11 engine is not installed" \
        "(packages softhsm2 opensc libengine-pkcs11-openssl; scripts/setup-system.sh installs them)"
      exit 77
    fi
    # A token of the test's own: the key imported, then only the token holds it.
    mkdir -p "$tmp/tokens"
    printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$tmp/tokens" >"$tmp/softhsm2.conf"
    export SOFTHSM2_CONF=$tmp/softhsm2.conf
    softhsm2-util --init-token --free --label release --pin 4321 --so-pin 87654321 >/dev/null
    openssl pkcs8 -topk8 -nocrypt -in "$pki_dir/leafA.key" -out "$tmp/key.p8"
    softhsm2-util --import "$tmp/key.p8" --token release --label signer --id 01 --pin 4321 >/dev/null
    rm -f "$tmp/key.p8"
    pkcs11-tool --module "$module" --token-label release --login --pin 4321 \
      --write-object "$pki_dir/leafA.der" --type cert --id 01 --label signer >/dev/null 2>&1
    VLM_SIGN_PKCS11_MODULE=$module VLM_SIGN_PKCS11_KEY='pkcs11:token=release;object=signer;type=private' \
      VLM_SIGN_PKCS11_PIN=4321 VLM_SIGN_CAFILE=$pki_dir/rootA.pem \
      VLM_SIGN_DESCRIPTION="Tarvik Quill Setup" VLM_SIGN_URL=https://quill.example.test/ \
      bash "$release" --sign >"$tmp/release.log" 2>&1 || fail "release.sh --sign: $(cat "$tmp/release.log")"
    check_dist "signed in the token"
    osslsigncode verify -CAfile "$pki_dir/rootA.pem" -in "$tmp/dist/VellumoraInstaller.exe" >"$tmp/verify.log" 2>&1
    grep -q "Text description: Tarvik Quill Setup" "$tmp/verify.log" && grep -q "URL description: https://quill.example.test/" "$tmp/verify.log" ||
      fail "the description or URL is not the one given: $(grep description "$tmp/verify.log")"
    echo "description and URL as given"
    ;;
  adopt)
    mkdir -p "$tmp/signed"
    for name in VellumoraInstaller.exe VellumoraInstaller-intl.exe VellumoraMsiActions.dll; do
      bash "$pki" sign "$pki_dir" leafA "$stage/dist/$name" "$tmp/signed/$name"
    done
    VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      fail "release.sh --adopt: $(cat "$tmp/release.log")"
    grep -q "VellumoraInstaller.msi: unsigned" "$tmp/dist/README.txt" || fail "README.txt does not say the MSI is unsigned"
    echo "adopted: $(grep -m1 'not signed yet' "$tmp/release.log")"
    # The MSI built from the adopted files, signed elsewhere too, then adopted.
    bash "$pki" sign "$pki_dir" leafA "$tmp/dist/VellumoraInstaller.msi" "$tmp/signed/VellumoraInstaller.msi"
    VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      fail "release.sh --adopt with the MSI: $(cat "$tmp/release.log")"
    check_dist "adopted"

    cp "$tmp/signed/VellumoraInstaller.exe" "$tmp/kept.exe"
    printf 'more' >>"$tmp/signed/VellumoraInstaller.exe"
    if VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      ! grep -q "a signature and nothing else" "$tmp/release.log"; then
      fail "a signed file with bytes added was adopted: $(cat "$tmp/release.log")"
    fi
    echo "refused: $(tail -n 1 "$tmp/release.log")"
    cp "$tmp/kept.exe" "$tmp/signed/VellumoraInstaller.exe"
    # An MSI with a table changed, signed after the change: its signature is intact, its
    # contents are not the build's.
    cp "$tmp/signed/VellumoraInstaller.msi" "$tmp/kept.msi"
    cp "$tmp/dist/VellumoraInstaller.msi" "$tmp/changed.msi"
    osslsigncode remove-signature -in "$tmp/changed.msi" -out "$tmp/changed-unsigned.msi" >/dev/null
    msibuild "$tmp/changed-unsigned.msi" -q "UPDATE Property SET Value = 'Force' WHERE Property = 'REBOOT'"
    bash "$pki" sign "$pki_dir" leafA "$tmp/changed-unsigned.msi" "$tmp/signed/VellumoraInstaller.msi"
    if VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      ! grep -q "VellumoraInstaller.msi without its signature differs" "$tmp/release.log"; then
      fail "a changed MSI was adopted: $(cat "$tmp/release.log")"
    fi
    echo "refused: $(tail -n 1 "$tmp/release.log")"
    cp "$tmp/kept.msi" "$tmp/signed/VellumoraInstaller.msi"

    write_env ""
    if VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      ! grep -q -- "-DVLM_PACKAGE_SIGNER" "$tmp/release.log"; then
      fail "an unpinned build was released: $(cat "$tmp/release.log")"
    fi
    echo "refused: $(head -n 1 "$tmp/release.log")"
    VLM_RELEASE_UNPINNED=1 VLM_SIGN_CAFILE=$pki_dir/rootA.pem bash "$release" --adopt "$tmp/signed" >"$tmp/release.log" 2>&1 ||
      fail "release.sh --adopt, unpinned on purpose: $(cat "$tmp/release.log")"
    head -n 1 "$tmp/dist/README.txt" | grep -q "^UNPINNED RELEASE" || fail "README.txt does not begin with the missing pin"
    echo "unpinned on purpose: $(head -n 1 "$tmp/dist/README.txt")"
    ;;
  sbom)
    # The schemas as the CycloneDX library publishes them, fetched once into the build folder.
    if [ ! -f "$schema_dir/bom-1.5.SNAPSHOT.schema.json" ] && command -v npm >/dev/null; then
      (cd "$tmp" && timeout 90 npm pack --silent "@cyclonedx/cyclonedx-library@$CYCLONEDX_LIBRARY" >/dev/null 2>&1 &&
        tar -xzf cyclonedx-cyclonedx-library-*.tgz package/res/schema) || true
      if [ -d "$tmp/package/res/schema" ]; then
        mkdir -p "$schema_dir"
        cp "$tmp"/package/res/schema/*.schema.json "$schema_dir/"
      fi
    fi
    if [ ! -f "$schema_dir/bom-1.5.SNAPSHOT.schema.json" ]; then
      echo "SKIPPED: the CycloneDX schema could not be fetched into $schema_dir (npm and the registry are needed)"
      exit 77
    fi
    python=""
    for candidate in python3 /usr/bin/python3; do
      "$candidate" -c 'import jsonschema' 2>/dev/null && python=$candidate && break
    done
    [ -n "$python" ] || { echo "SKIPPED: no Python with jsonschema (package python3-jsonschema)"; exit 77; }
    python3 "$root/scripts/sbom.py" bom --components "$stage/components.json" --version 1.0.0 \
      --commit "$(printf '%040d' 7)" --epoch 1765000000 "$stage/dist"/*.exe >"$tmp/sbom.json"
    "$python" "$(dirname "$0")/check_sbom.py" "$tmp/sbom.json" "$schema_dir" "$stage/dist"/*.exe
    ;;
  *) fail "unknown mode $mode" ;;
esac
