#!/usr/bin/env bash
# Makes what a product team uploads, in dist/, from the commit checked out (docs/release.md):
#   ./scripts/release.sh            the two 32-bit installers, built in Release in a clean
#                                   folder of their own, stripped (debug information in
#                                   dist/symbols), signed when a key is given, the per-machine
#                                   MSI package around the default one (its custom-action DLL
#                                   beside it) built from the signed files and signed too, the
#                                   Group Policy templates (dist/policy), SHA256SUMS, README.txt
#                                   and sbom.cdx.json (CycloneDX bill of materials)
#   ./scripts/release.sh --verify   builds the release twice, in two folders at different
#                                   paths, and says "reproducible" or where the bytes differ
#   ./scripts/release.sh --unsigned builds and stops before signing: names the files to sign
#                                   elsewhere (kept in build-release/stage)
#   ./scripts/release.sh --adopt DIR  takes those files back from DIR once signed, checks each is
#                                   the built file plus a signature and nothing else, verifies
#                                   the signatures and writes dist/ with the MSI built from them;
#                                   that MSI is signed elsewhere too: put it, signed, in DIR
#                                   beside the others and run --adopt DIR again
#   ./scripts/release.sh --sign     signs what --unsigned built with the key given now (a token
#                                   plugged in later) and writes dist/
#
# Signing (Authenticode, SHA-256), one key: VLM_SIGN_CERT (PEM chain, leaf first) and
# VLM_SIGN_KEY (PEM key); or VLM_SIGN_PFX and VLM_SIGN_PASSWORD (PKCS#12); or a key in a token
# or HSM: VLM_SIGN_PKCS11_MODULE (the PKCS#11 module, a .so), VLM_SIGN_PKCS11_KEY (a pkcs11:
# URI of the private key), VLM_SIGN_PKCS11_PIN (optional, else in the URI), the chain from
# VLM_SIGN_CERT or else the token (VLM_SIGN_PKCS11_CERT, default the key's URI with
# type=cert). VLM_SIGN_DESCRIPTION (default "Vellumora Installer": the name Windows'
# elevation prompt shows) and VLM_SIGN_URL (default the redirect endpoint);
# VLM_SIGN_TIMESTAMP_URL (RFC 3161) optional; VLM_SIGN_CAFILE: the roots the signatures are
# verified against (default: the system's). Build settings: VLM_REDIRECT_ENDPOINT,
# VLM_PACKAGE_SIGNER (CMake's defaults otherwise); a build without a signer pin is refused
# unless VLM_RELEASE_UNPINNED=1. VLM_DEPS_DIR: where the third-party libraries are (default
# .deps). VLM_RELEASE_WORK (default build-release) and VLM_RELEASE_DIST (default dist) move
# the work and the result.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
PROGRAMS=(VellumoraInstaller VellumoraInstaller-intl)
TARGETS=(VellumoraInstaller VellumoraInstallerIntl VellumoraMsiActions)
# What is signed before the MSI is built (the MSI carries the signed installer and DLL).
SIGNED=(VellumoraInstaller.exe VellumoraInstaller-intl.exe VellumoraMsiActions.dll)
MSI=VellumoraInstaller.msi
MINGW=i686-w64-mingw32
DEPS_ROOT=${VLM_DEPS_DIR:-$ROOT/.deps}

say() { echo "== release: $*"; }
fail() {
  echo "release: $*" >&2
  exit 1
}

mode=release
adopt_dir=""
case ${1:-} in
  "") ;;
  --verify) mode=verify ;;
  --unsigned) mode=unsigned ;;
  --sign) mode=sign ;;
  --adopt)
    mode=adopt
    adopt_dir=${2:-}
    [ -n "$adopt_dir" ] && [ -d "$adopt_dir" ] || fail "--adopt needs the folder holding the signed programs"
    adopt_dir=$(cd "$adopt_dir" && pwd)
    ;;
  -h | --help)
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
    exit 0
    ;;
  *) fail "unknown argument '$1' (none, --verify, --unsigned, --sign or --adopt DIR)" ;;
esac

WORK=${VLM_RELEASE_WORK:-$ROOT/build-release}
STAGE=$WORK/stage
OUT=${VLM_RELEASE_DIST:-$ROOT/dist}

# Tools: installed by setup-system.sh when one is missing (it needs root or sudo).
tools=(git cmake ninja 7zz python3 sha256sum osslsigncode openssl wixl msibuild msidump faketime "$MINGW-g++-posix"
  "$MINGW-objcopy" "$MINGW-strip")
for tool in "${tools[@]}"; do
  if ! command -v "$tool" >/dev/null; then
    "$ROOT/scripts/setup-system.sh"
    break
  fi
done
# Nothing of this machine's language or time zone reaches what the tools write.
export LC_ALL=C TZ=UTC
# A ccache base directory hands the compiler relative paths for sources outside the tree (the
# libraries' folder), which the path maps then miss: the debug information would name where
# the build sat.
unset CCACHE_BASEDIR
# A release is built by the compiler alone: a compiler cache taken from the environment
# (CMake reads these) may hand back objects built elsewhere, with other paths in them.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

# A build without a pin runs whatever its download URL serves: only on purpose.
check_pin() { # pin
  [ -n "$1" ] || [ "${VLM_RELEASE_UNPINNED:-}" = 1 ] ||
    fail "no package signer pin: such an installer runs whatever its download URL serves. Build with
  VLM_PACKAGE_SIGNER=<SHA-256 thumbprint of your package signer> (passed to CMake as -DVLM_PACKAGE_SIGNER),
  or set VLM_RELEASE_UNPINNED=1 to release it unpinned (dist/README.txt then says so first)"
}

# The build steps need the commit; the signing steps read what the build left in the stage.
if [ "$mode" = release ] || [ "$mode" = unsigned ] || [ "$mode" = verify ]; then
  [ "$mode" = verify ] || check_pin "${VLM_PACKAGE_SIGNER:-}"
  "$ROOT/scripts/build-deps.sh" i686
  DEPS_PREFIX=$(readlink -f "$DEPS_ROOT/i686/prefix")
  # A release is a commit: the tree must hold no change that the commit lacks.
  cd "$ROOT"
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    fail "the working tree has uncommitted changes; a release is built from a commit: commit or stash them"
  fi
  COMMIT=$(git rev-parse HEAD)
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
  export SOURCE_DATE_EPOCH
  VERSION=$(tr -d '[:space:]' <"$ROOT/VERSION")
fi

# export_commit DIR: the commit's files, and nothing else, in DIR.
export_commit() {
  rm -rf "$1"
  mkdir -p "$1"
  git -C "$ROOT" archive --format=tar "$COMMIT" | tar -x -C "$1"
}

# build_stage SRC STAGE: the release build of the exported tree SRC, unsigned, in STAGE/dist,
# with what the later steps need to know of the build beside it (release.env, the bill of
# materials' components, the tool versions).
build_stage() {
  local src=$1 stage=$2 build=$1/build
  local defines=(-DCMAKE_BUILD_TYPE=Release -DVLM_REPRODUCIBLE=ON -DVLM_DEPS_PREFIX="$DEPS_PREFIX"
    # The optimisation the tests run with; the debug information goes to dist/symbols.
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -g -DNDEBUG" "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -g -DNDEBUG")
  [ -z "${VLM_REDIRECT_ENDPOINT+set}" ] || defines+=(-DVLM_REDIRECT_ENDPOINT="$VLM_REDIRECT_ENDPOINT")
  [ -z "${VLM_PACKAGE_SIGNER+set}" ] || defines+=(-DVLM_PACKAGE_SIGNER="$VLM_PACKAGE_SIGNER")
  say "building $COMMIT in $build"
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" "${defines[@]}" \
    >"$src/configure.log" 2>&1 || { tail -n 30 "$src/configure.log"; fail "configuring failed"; }
  cmake --build "$build" --target "${TARGETS[@]}" >"$src/build.log" 2>&1 ||
    { tail -n 30 "$src/build.log"; fail "building failed"; }

  local dist=$stage/dist
  rm -rf "$stage"
  mkdir -p "$dist/symbols"
  local name
  for name in "${SIGNED[@]}"; do
    "$MINGW-objcopy" --only-keep-debug "$build/bin/$name" "$dist/symbols/$name.debug"
    "$MINGW-strip" --strip-all -o "$dist/$name" "$build/bin/$name"
    # The link names the debug file and carries its CRC; the folder is the reader's to give.
    (cd "$dist/symbols" && "$MINGW-objcopy" --add-gnu-debuglink="$name.debug" "../$name")
    python3 "$src/scripts/pe_sign_ready.py" "$dist/$name"
  done
  chmod 0644 "$dist"/*.exe "$dist"/*.dll "$dist"/symbols/*
  stage_policy_templates "$src" "$dist"
  # The MSI is made once its contents are signed: what makes it goes with the stage.
  mkdir -p "$stage/msi"
  cp "$src/scripts/build-msi.sh" "$src/src/msi/Vellumora.wxs.in" "$stage/msi/"
  # What the tests check in the build, checked again in what ships.
  local delayed
  read -r -a delayed <<<"$(cache_value "$build" VLM_DELAY_LOADED_DLLS | tr ';' ' ')"
  check python3 "$src/tests/shipped/check_shipped_program.py" "$dist/${PROGRAMS[0]}.exe"
  for name in "${PROGRAMS[@]}"; do
    check python3 "$src/tests/shipped/check_imports.py" "$dist/$name.exe" "${delayed[@]}"
  done
  check python3 "$src/tests/shipped/check_imports.py" --custom-action-dll "$dist/VellumoraMsiActions.dll"
  local exes=("${PROGRAMS[@]/#/$dist/}")
  check python3 "$src/tests/release/check_version.py" "$src/VERSION" "${exes[@]/%/.exe}"

  {
    printf 'COMMIT=%q\n' "$COMMIT"
    printf 'SOURCE_DATE_EPOCH=%q\n' "$SOURCE_DATE_EPOCH"
    printf 'VERSION=%q\n' "$VERSION"
    printf 'ENDPOINT=%q\n' "$(cache_value "$build" VLM_REDIRECT_ENDPOINT)"
    printf 'PIN=%q\n' "$(cache_value "$build" VLM_PACKAGE_SIGNER)"
  } >"$stage/release.env"
  toolchain >"$stage/built-with.txt"
  VLM_DEPS_DIR=$DEPS_ROOT "$src/scripts/build-deps.sh" --sources >"$stage/sources.txt"
  python3 "$src/scripts/sbom.py" components --arch i686 --deps-prefix "$DEPS_PREFIX" \
    --sources "$stage/sources.txt" --tarballs "$DEPS_ROOT/sources" >"$stage/components.json" ||
    fail "the bill of materials' components could not be read"
}

# --- Machine policies: the Group Policy templates ship beside the programs, as the commit holds
# them (so --verify compares them too), listed in SHA256SUMS and README.txt; text, not
# software, they have no place in the bill of materials.
POLICY_TEMPLATES=(Vellumora.admx en-US/Vellumora.adml zh-CN/Vellumora.adml)
stage_policy_templates() { # src dist
  local file
  for file in "${POLICY_TEMPLATES[@]}"; do
    install -D -m 0644 "$1/policy/$file" "$2/policy/$file"
  done
  check python3 -c 'import sys, xml.dom.minidom as m; [m.parse(f) for f in sys.argv[1:]]' \
    "${POLICY_TEMPLATES[@]/#/$2/policy/}"
}
# --- end of the machine policies' part

check() { # command...: runs a check of the result; its output only when it fails
  local out
  out=$("$@" 2>&1) || fail "a check of the result failed: $out"
}

cache_value() { # build name
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# The Debian packages whose versions decide the bytes, and the libraries build-deps.sh makes.
toolchain() {
  local package
  for package in g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev 7zip cmake wixl msitools; do
    echo "$package $(dpkg-query -W -f '${Version}' "$package" 2>/dev/null || echo unknown)"
  done
  # cpp-httplib is for the tests only.
  sed -n 's/^\([A-Z]*\)_VERSION=\(.*\)/\1 \2/p' "$ROOT/scripts/build-deps.sh" | tr '[:upper:]' '[:lower:]' | grep -v '^httplib' |
    awk '{ printf "%s%s %s", (NR > 1 ? ", " : "libraries "), $1, $2 } END { print "" }'
}

load_stage() {
  [ -f "$STAGE/release.env" ] || fail "nothing built to sign: run ./scripts/release.sh --unsigned first"
  # shellcheck disable=SC1091
  source "$STAGE/release.env"
  check_pin "$PIN"
}

# finish STAGE DIST: README.txt, the bill of materials and SHA256SUMS for the programs in
# DIST (SIGNED_BY says how they are signed).
finish() {
  local stage=$1 dist=$2
  write_readme "$stage" "$dist"
  local files=("${SIGNED[@]/#/$dist/}")
  python3 "$ROOT/scripts/sbom.py" bom --components "$stage/components.json" --version "$VERSION" \
    --commit "$COMMIT" --epoch "$SOURCE_DATE_EPOCH" "${files[@]}" "$dist/$MSI" >"$dist/sbom.cdx.json" ||
    fail "the bill of materials could not be written"
  checksum_dist "$dist"
}

write_readme() { # stage dist
  local stage=$1 dist=$2 signer
  signer=${SIGNED_BY:-"unsigned"}
  {
    if [ -z "$PIN" ]; then
      echo "UNPINNED RELEASE: built without a package signer pin (-DVLM_PACKAGE_SIGNER); these installers"
      echo "run whatever their download URL serves, and a settings file beside them can point it elsewhere."
      echo
    fi
    echo "Vellumora installer $VERSION"
    echo
    echo "Commit:             $COMMIT ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
    echo "Programs:           VellumoraInstaller.exe (default skin, Chinese)"
    echo "                    VellumoraInstaller-intl.exe (international skin, fifteen languages)"
    echo "                    32-bit Windows programs, Windows 7 and later"
    echo "                    $MSI (per-machine MSI package: installs VellumoraInstaller.exe"
    echo "                    under Program Files and runs it for the machine; docs/settings.md)"
    echo "                    VellumoraMsiActions.dll (the MSI's custom actions, inside it; not uploaded)"
    echo "Redirect endpoint:  $ENDPOINT"
    echo "Package signer pin: ${PIN:-none (packages run without a signature check)}"
    echo "Release signature:  $signer"
    [ -z "${MSI_UNSIGNED:-}" ] || echo "                    $MSI: unsigned (sign it and run --adopt again with it)"
    echo "Exit codes:         docs/settings.md, \"Deploying to many machines\" (in the source at the commit)"
    echo "Checksums:          SHA256SUMS (sha256sum -c SHA256SUMS)"
    echo "Bill of materials:  sbom.cdx.json (CycloneDX 1.5)"
    [ ! -f "$dist/policy/Vellumora.admx" ] ||
      echo "Policy templates:   policy/Vellumora.admx, policy/en-US and zh-CN/Vellumora.adml (docs/settings.md, \"Machine policies\")"
    echo "Debug information:  symbols/*.debug, for addresses in crash reports (docs/release.md)"
    echo "Built with:         $(sed '2,$s/^/                    /' "$stage/built-with.txt")"
    echo "Rebuilding:         git checkout $COMMIT && ./scripts/release.sh, then compare (docs/release.md)"
  } >"$dist/README.txt"
}

# The signing key, when one is given: SIGN_ARGS for osslsigncode, SIGN_SECRET what it reads
# through a pipe (the PFX password or the token's PIN), never from its command line.
SIGN_ARGS=()
SIGN_SECRET=""
SIGN_READS_SECRET=0
SIGNED_BY=""
choose_key() {
  local kinds=0
  [ -z "${VLM_SIGN_PFX:-}" ] || kinds=$((kinds + 1))
  [ -z "${VLM_SIGN_KEY:-}" ] || kinds=$((kinds + 1))
  [ -z "${VLM_SIGN_PKCS11_MODULE:-}${VLM_SIGN_PKCS11_KEY:-}" ] || kinds=$((kinds + 1))
  [ "$kinds" -le 1 ] || fail "give one key: VLM_SIGN_PFX, VLM_SIGN_KEY or VLM_SIGN_PKCS11_KEY, not several"
  if [ -n "${VLM_SIGN_PFX:-}" ]; then
    [ -z "${VLM_SIGN_CERT:-}" ] || fail "VLM_SIGN_PFX carries its chain: leave VLM_SIGN_CERT out"
    [ -f "$VLM_SIGN_PFX" ] || fail "VLM_SIGN_PFX: no file $VLM_SIGN_PFX"
    SIGN_ARGS=(-pkcs12 "$VLM_SIGN_PFX")
    SIGN_SECRET=${VLM_SIGN_PASSWORD:-}
    SIGN_READS_SECRET=1
  elif [ -n "${VLM_SIGN_PKCS11_MODULE:-}${VLM_SIGN_PKCS11_KEY:-}" ]; then
    if [ -z "${VLM_SIGN_PKCS11_MODULE:-}" ] || [ -z "${VLM_SIGN_PKCS11_KEY:-}" ]; then
      fail "VLM_SIGN_PKCS11_MODULE and VLM_SIGN_PKCS11_KEY go together: one of them is missing"
    fi
    [ -f "$VLM_SIGN_PKCS11_MODULE" ] || fail "VLM_SIGN_PKCS11_MODULE: no file $VLM_SIGN_PKCS11_MODULE"
    case $VLM_SIGN_PKCS11_KEY in
      pkcs11:*) ;;
      *) fail "VLM_SIGN_PKCS11_KEY must be a pkcs11: URI (RFC 7512), such as 'pkcs11:token=T;object=K;type=private'" ;;
    esac
    # The key stays in the token: osslsigncode hands the digest to the module to sign.
    SIGN_ARGS=(-pkcs11module "$VLM_SIGN_PKCS11_MODULE" -key "$VLM_SIGN_PKCS11_KEY")
    if [ -n "${VLM_SIGN_CERT:-}" ]; then
      [ -f "$VLM_SIGN_CERT" ] || fail "VLM_SIGN_CERT: no file $VLM_SIGN_CERT"
      SIGN_ARGS+=(-certs "$VLM_SIGN_CERT")
    else
      SIGN_ARGS+=(-pkcs11cert "${VLM_SIGN_PKCS11_CERT:-$(certificate_uri "$VLM_SIGN_PKCS11_KEY")}")
    fi
    # Without one the PIN comes from the URI (pin-value or pin-source).
    SIGN_SECRET=${VLM_SIGN_PKCS11_PIN:-}
    [ -z "$SIGN_SECRET" ] || SIGN_READS_SECRET=1
  elif [ -n "${VLM_SIGN_CERT:-}" ] || [ -n "${VLM_SIGN_KEY:-}" ]; then
    if [ -z "${VLM_SIGN_CERT:-}" ] || [ -z "${VLM_SIGN_KEY:-}" ]; then
      fail "VLM_SIGN_CERT and VLM_SIGN_KEY go together: one of them is missing"
    fi
    [ -f "$VLM_SIGN_CERT" ] || fail "VLM_SIGN_CERT: no file $VLM_SIGN_CERT"
    [ -f "$VLM_SIGN_KEY" ] || fail "VLM_SIGN_KEY: no file $VLM_SIGN_KEY"
    SIGN_ARGS=(-certs "$VLM_SIGN_CERT" -key "$VLM_SIGN_KEY")
  fi
}

# The certificate beside a key in a token: the key's URI without its type and PIN, as a
# certificate (certificates are public: no PIN is needed to read one).
certificate_uri() { # key-uri
  local path=${1%%\?*}
  path=$(printf '%s' "$path" | sed -E 's/;(type|pin-value|pin-source)=[^;]*//g; s/^pkcs11:(type|pin-value|pin-source)=[^;]*;?/pkcs11:/')
  case $path in
    pkcs11:) echo "pkcs11:type=cert" ;;
    *) echo "$path;type=cert" ;;
  esac
}

# verify_signature FILE LOG: osslsigncode's verdict on FILE's signature, its report in LOG.
verify_signature() {
  local verify_args=()
  [ -z "${VLM_SIGN_CAFILE:-}" ] || verify_args=(-CAfile "$VLM_SIGN_CAFILE")
  osslsigncode verify "${verify_args[@]}" -in "$1" >"$2" 2>&1 </dev/null ||
    { cat "$2"; fail "osslsigncode verify refuses the signed $(basename "$1") (a private or test root goes in VLM_SIGN_CAFILE)"; }
}

# check_only_signature SIGNED BUILT: without its signature the file must be the build's bytes,
# what a rebuild compares; anything else added or changed is refused. An MSI is a compound file
# that taking the signature off lays out anew: its tables and streams must be the build's.
check_only_signature() {
  local back=$1.back same=0
  if osslsigncode remove-signature -in "$1" -out "$back" >/dev/null 2>&1 </dev/null; then
    case $1 in
      *.msi | *.msi.signed) msi_contents_equal "$2" "$back" && same=1 ;;
      *) cmp -s "$2" "$back" && same=1 ;;
    esac
  fi
  rm -f "$back"
  [ "$same" = 1 ] ||
    fail "$(basename "${1%.signed}") without its signature differs from the build: it must be the built file plus a signature and nothing else"
}

msi_contents_equal() { # a.msi b.msi: every table and stream the same
  local dir rc=0
  dir=$(mktemp -d)
  mkdir "$dir/a" "$dir/b"
  local a b
  a=$(realpath "$1") b=$(realpath "$2")
  # msidump writes the Binary table's streams into the current folder, whatever -d says.
  if (cd "$dir/a" && msidump -t -s -d . "$a" >/dev/null 2>&1) && (cd "$dir/b" && msidump -t -s -d . "$b" >/dev/null 2>&1); then
    diff -r -q "$dir/a" "$dir/b" >/dev/null || rc=1
  else
    rc=1
  fi
  rm -rf "$dir"
  return "$rc"
}

# build_msi DIST: the MSI around the installer and the custom actions as DIST holds them (signed
# or not), with what the stage keeps of the commit; reproducible (SOURCE_DATE_EPOCH).
build_msi() {
  local dist=$1 stage=${2:-$STAGE}
  SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH VLM_MSI_TEMPLATE=$stage/msi/Vellumora.wxs.in \
    bash "$stage/msi/build-msi.sh" "$VERSION" "$ENDPOINT" "$dist/VellumoraInstaller.exe" \
    "$dist/VellumoraMsiActions.dll" "$dist/$MSI" >"$dist/msi.log" 2>&1 ||
    { cat "$dist/msi.log"; rm -f "$dist/msi.log"; fail "building $MSI failed"; }
  rm -f "$dist/msi.log"
  chmod 0644 "$dist/$MSI"
}

# The SHA-256 thumbprint of the certificate that made FILE's signature (LOG: its verify report),
# as Windows shows it.
signer_thumbprint() { # file log
  local serial dir cert
  serial=$(awk '/^Signer.s certificate:/ { found = 1 } found && /Serial :/ { print $3; exit }' "$2")
  dir=$(mktemp -d)
  osslsigncode extract-signature -in "$1" -out "$dir/signature.der" >/dev/null 2>&1 </dev/null || true
  openssl pkcs7 -inform DER -in "$dir/signature.der" -print_certs 2>/dev/null |
    awk -v dir="$dir" '/BEGIN CERT/ { n++ } n { print > (dir "/cert" n ".pem") }'
  for cert in "$dir"/cert*.pem; do
    [ -f "$cert" ] || continue
    if [ "$(openssl x509 -in "$cert" -noout -serial | sed 's/^serial=//')" = "$serial" ]; then
      openssl x509 -in "$cert" -noout -fingerprint -sha256 | sed 's/.*=//; s/://g'
      break
    fi
  done
  rm -rf "$dir"
}

# describe_signatures DIST: SIGNED_BY for README.txt from the signed files (one signer); the
# MSI among them unless MSI_UNSIGNED says it is not signed yet.
describe_signatures() {
  local dist=$1 name thumbprint="" subject="" this log files=("${SIGNED[@]}")
  [ -n "${MSI_UNSIGNED:-}" ] || files+=("$MSI")
  log=$(mktemp)
  for name in "${files[@]}"; do
    verify_signature "$dist/$name" "$log"
    this=$(signer_thumbprint "$dist/$name" "$log")
    [ -n "$this" ] || { rm -f "$log"; fail "$name: the signer's certificate is not in its signature"; }
    [ -z "$thumbprint" ] || [ "$this" = "$thumbprint" ] ||
      { rm -f "$log"; fail "the files are signed by different certificates ($thumbprint, $this)"; }
    thumbprint=$this
    [ -n "$subject" ] || subject=$(sed -n 's/^[[:space:]]*Subject: //p' "$log" | head -n 1)
  done
  SIGNED_BY="Authenticode SHA-256 by $subject"
  SIGNED_BY+=$'\n'"                    signer certificate SHA-256 $thumbprint"
  grep -q "^Timestamp is not available" "$log" &&
    SIGNED_BY+=$'\n'"                    no time stamp: the signature counts only while the certificate is valid"
  rm -f "$log"
}

# sign_dist DIST NAME...: signs those files of DIST in place; each must come back as the
# build's bytes.
sign_dist() {
  local dist=$1 name file
  shift
  local extra=(-h sha256 -n "${VLM_SIGN_DESCRIPTION:-Vellumora Installer}" -i "${VLM_SIGN_URL:-$ENDPOINT}")
  [ -z "${VLM_SIGN_TIMESTAMP_URL:-}" ] || extra+=(-ts "$VLM_SIGN_TIMESTAMP_URL")
  for name in "$@"; do
    file=$dist/$name
    rm -f "$file.signed"
    local secret=()
    [ "$SIGN_READS_SECRET" = 0 ] || secret=(-readpass /dev/fd/3)
    osslsigncode sign "${SIGN_ARGS[@]}" "${secret[@]}" "${extra[@]}" \
      -in "$file" -out "$file.signed" >"$dist/sign.log" 2>&1 </dev/null 3< <(printf '%s' "$SIGN_SECRET") ||
      { cat "$dist/sign.log"; rm -f "$dist/sign.log" "$file.signed"; fail "signing $name failed"; }
    rm -f "$dist/sign.log"
    check_only_signature "$file.signed" "$file"
    mv -f "$file.signed" "$file"
  done
}

# adopt_dist DIR DIST NAME...: those files signed elsewhere, in DIR, replace the unsigned ones
# in DIST.
adopt_dist() {
  local from=$1 dist=$2 name
  shift 2
  for name in "$@"; do
    [ -f "$from/$name" ] || fail "no $name in $from"
    cp "$from/$name" "$dist/$name.signed"
    check_only_signature "$dist/$name.signed" "$dist/$name"
    mv -f "$dist/$name.signed" "$dist/$name"
  done
}

# The MSI, built from the signed files, signed with the key given here.
sign_msi() { # dist
  build_msi "$1"
  sign_dist "$1" "$MSI"
}

checksum_dist() { # dist
  local sums
  sums=$(cd "$1" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort | xargs -d '\n' sha256sum)
  printf '%s\n' "$sums" >"$1/SHA256SUMS"
  (cd "$1" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
}

# The files of a dist folder, SHA256SUMS (made from the others) last.
dist_files() {
  (cd "$1" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort && if [ -f SHA256SUMS ]; then echo SHA256SUMS; fi)
}

# compare_dists A B: "reproducible", or the first file that differs and where.
compare_dists() {
  local a=$1 b=$2 file out byte
  file=$(diff <(dist_files "$a") <(dist_files "$b") | sed -n 's/^[<>] //p' | head -n 1)
  if [ -n "$file" ]; then
    echo "not reproducible: $file is in one build only"
    return 1
  fi
  while IFS= read -r file; do
    if ! out=$(cmp "$a/$file" "$b/$file" 2>&1); then
      # cmp counts from 1 ("byte" or "char" N); offsets count from 0.
      byte=$(printf '%s\n' "$out" | sed -n 's/.*differ: [a-z]* \([0-9]*\),.*/\1/p')
      if [ -n "$byte" ]; then
        printf 'not reproducible: %s differs at offset %d (0x%x)\n' "$file" $((byte - 1)) $((byte - 1))
      else
        echo "not reproducible: $file: $out"
      fi
      return 1
    fi
  done < <(dist_files "$a")
  echo "reproducible: $(cd "$a" && find . -type f | wc -l) files, byte-identical from $a and $b"
}

# publish: the finished work/dist becomes the result, and says what it holds.
publish() {
  rm -rf "$OUT"
  mv "$WORK/dist" "$OUT"
  say "version $VERSION, commit $COMMIT, in $(($(date +%s) - start)) s:"
  (cd "$OUT" && find . -name '*.exe' -o -name '*.dll' -o -name '*.msi' -o -name '*.debug' | sort | sed 's|^\./||' |
    xargs stat -c '    %10s  %n')
}

# A fresh copy of the staged programs to sign or adopt into: the stage stays as built.
copy_stage() {
  rm -rf "$WORK/dist"
  cp -a "$STAGE/dist" "$WORK/dist"
}

start=$(date +%s)
case $mode in
  release | unsigned)
    [ "$mode" = unsigned ] || choose_key
    export_commit "$WORK/vellumora"
    build_stage "$WORK/vellumora" "$STAGE"
    load_stage
    if [ "$mode" = unsigned ]; then
      say "built and not signed; sign these three files (Authenticode, SHA-256, description"
      say "\"${VLM_SIGN_DESCRIPTION:-Vellumora Installer}\", URL ${VLM_SIGN_URL:-$ENDPOINT}) and nothing else:"
      for name in "${SIGNED[@]}"; do echo "    $STAGE/dist/$name"; done
      say "then put the signed files in one folder and run: ./scripts/release.sh --adopt FOLDER"
      say "(it builds $MSI from them; sign that too, add it to the folder and run --adopt FOLDER again)"
      exit 0
    fi
    copy_stage
    if [ ${#SIGN_ARGS[@]} -gt 0 ]; then
      sign_dist "$WORK/dist" "${SIGNED[@]}"
      sign_msi "$WORK/dist"
      describe_signatures "$WORK/dist"
      say "signed and verified: ${SIGNED[*]} $MSI"
    else
      build_msi "$WORK/dist"
      say "unsigned: no signing key given (VLM_SIGN_CERT and VLM_SIGN_KEY, VLM_SIGN_PFX and VLM_SIGN_PASSWORD, or VLM_SIGN_PKCS11_MODULE and VLM_SIGN_PKCS11_KEY)"
    fi
    finish "$STAGE" "$WORK/dist"
    publish
    ;;
  sign | adopt)
    load_stage
    copy_stage
    if [ "$mode" = sign ]; then
      choose_key
      [ ${#SIGN_ARGS[@]} -gt 0 ] || fail "--sign needs a key (see --help)"
      sign_dist "$WORK/dist" "${SIGNED[@]}"
      sign_msi "$WORK/dist"
    else
      adopt_dist "$adopt_dir" "$WORK/dist" "${SIGNED[@]}"
      build_msi "$WORK/dist"
      if [ -f "$adopt_dir/$MSI" ]; then
        adopt_dist "$adopt_dir" "$WORK/dist" "$MSI"
      else
        MSI_UNSIGNED=1
      fi
    fi
    describe_signatures "$WORK/dist"
    if [ -n "${MSI_UNSIGNED:-}" ]; then
      say "signed and verified: ${SIGNED[*]}; $MSI is built from them and not signed yet:"
      say "sign $OUT/$MSI as the others, put it in $adopt_dir and run --adopt $adopt_dir again"
    else
      say "signed and verified: ${SIGNED[*]} $MSI"
    fi
    finish "$STAGE" "$WORK/dist"
    publish
    ;;
  verify)
    work=$ROOT/build-verify
    rm -rf "$work"
    # Two paths of different lengths, so nothing that depends on where the tree sits agrees by chance.
    first=$work/one/vellumora
    second=$work/second-build/somewhere/deeper/vellumora-copy
    for tree in "$first" "$second"; do
      export_commit "$tree"
      build_stage "$tree" "$tree-stage"
      # Reproducibility does not depend on a pin: the check is the release's.
      (STAGE=$tree-stage VLM_RELEASE_UNPINNED=1 && load_stage && build_msi "$STAGE/dist" && finish "$STAGE" "$STAGE/dist") ||
        exit 1
    done
    if compare_dists "$first-stage/dist" "$second-stage/dist"; then
      say "in $(($(date +%s) - start)) s"
      rm -rf "$work"
    else
      say "both builds are kept in $work"
      exit 1
    fi
    ;;
esac
