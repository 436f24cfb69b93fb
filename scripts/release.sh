#!/usr/bin/env bash
# Makes what a product team uploads, in dist/, from the commit checked out (docs/release.md):
#   ./scripts/release.sh            the two 32-bit installers, built in Release in a clean
#                                   folder of their own, stripped (debug information in
#                                   dist/symbols), signed when a key is given, SHA256SUMS and
#                                   README.txt
#   ./scripts/release.sh --verify   builds the release twice, in two folders at different
#                                   paths, and says "reproducible" or where the bytes differ
#
# Signing (Authenticode, SHA-256): VLM_SIGN_CERT (PEM chain, leaf first) and VLM_SIGN_KEY (PEM
# key), or VLM_SIGN_PFX and VLM_SIGN_PASSWORD (PKCS#12); VLM_SIGN_TIMESTAMP_URL (RFC 3161)
# optional; VLM_SIGN_CAFILE: the roots the signature is verified against (default: the
# system's). Build settings: VLM_REDIRECT_ENDPOINT, VLM_PACKAGE_SIGNER (CMake's defaults
# otherwise). VLM_DEPS_DIR: where the third-party libraries are (default .deps).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
PROGRAMS=(VellumoraInstaller VellumoraInstaller-intl)
TARGETS=(VellumoraInstaller VellumoraInstallerIntl)
MINGW=i686-w64-mingw32
DEPS_ROOT=${VLM_DEPS_DIR:-$ROOT/.deps}

say() { echo "== release: $*"; }
fail() {
  echo "release: $*" >&2
  exit 1
}

mode=release
case ${1:-} in
  "") ;;
  --verify) mode=verify ;;
  -h | --help)
    sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
    exit 0
    ;;
  *) fail "unknown argument '$1' (none, or --verify)" ;;
esac

# Tools: installed by setup-system.sh when one is missing (it needs root or sudo).
tools=(git cmake ninja 7zz python3 sha256sum osslsigncode "$MINGW-g++-posix" "$MINGW-objcopy" "$MINGW-strip")
for tool in "${tools[@]}"; do
  if ! command -v "$tool" >/dev/null; then
    "$ROOT/scripts/setup-system.sh"
    break
  fi
done
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
# Nothing of this machine's language or time zone reaches what the tools write.
export LC_ALL=C TZ=UTC

# export_commit DIR: the commit's files, and nothing else, in DIR.
export_commit() {
  rm -rf "$1"
  mkdir -p "$1"
  git -C "$ROOT" archive --format=tar "$COMMIT" | tar -x -C "$1"
}

# build_dist SRC DIST: the release build of the exported tree SRC into DIST, unsigned.
build_dist() {
  local src=$1 dist=$2 build=$1/build
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

  rm -rf "$dist"
  mkdir -p "$dist/symbols"
  local name
  for name in "${PROGRAMS[@]}"; do
    "$MINGW-objcopy" --only-keep-debug "$build/bin/$name.exe" "$dist/symbols/$name.exe.debug"
    "$MINGW-strip" --strip-all -o "$dist/$name.exe" "$build/bin/$name.exe"
    # The link names the debug file and carries its CRC; the folder is the reader's to give.
    (cd "$dist/symbols" && "$MINGW-objcopy" --add-gnu-debuglink="$name.exe.debug" "../$name.exe")
    python3 "$src/scripts/pe_sign_ready.py" "$dist/$name.exe"
  done
  chmod 0644 "$dist"/*.exe "$dist"/symbols/*
  # What the tests check in the build, checked again in what ships.
  local delayed
  read -r -a delayed <<<"$(cache_value "$build" VLM_DELAY_LOADED_DLLS | tr ';' ' ')"
  check python3 "$src/tests/shipped/check_shipped_program.py" "$dist/${PROGRAMS[0]}.exe"
  for name in "${PROGRAMS[@]}"; do
    check python3 "$src/tests/shipped/check_imports.py" "$dist/$name.exe" "${delayed[@]}"
  done
  local exes=("${PROGRAMS[@]/#/$dist/}")
  check python3 "$src/tests/release/check_version.py" "$src/VERSION" "${exes[@]/%/.exe}"
  write_readme "$build" "$dist"
}

check() { # command...: runs a check of the result; its output only when it fails
  local out
  out=$("$@" 2>&1) || fail "a check of the result failed: $out"
}

cache_value() { # build name
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

write_readme() { # build dist
  local build=$1 dist=$2 signer pin
  pin=$(cache_value "$build" VLM_PACKAGE_SIGNER)
  signer=${SIGNED_BY:-"unsigned"}
  {
    echo "Vellumora installer $VERSION"
    echo
    echo "Commit:             $COMMIT ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'))"
    echo "Programs:           VellumoraInstaller.exe (default skin, Chinese)"
    echo "                    VellumoraInstaller-intl.exe (international skin, fifteen languages)"
    echo "                    32-bit Windows programs, Windows 7 and later"
    echo "Redirect endpoint:  $(cache_value "$build" VLM_REDIRECT_ENDPOINT)"
    echo "Package signer pin: ${pin:-none (packages run without a signature check)}"
    echo "Release signature:  $signer"
    echo "Exit codes:         docs/settings.md, \"Deploying to many machines\" (in the source at the commit)"
    echo "Checksums:          SHA256SUMS (sha256sum -c SHA256SUMS)"
    echo "Debug information:  symbols/*.exe.debug, for addresses in crash reports (docs/release.md)"
    echo "Built with:         $(toolchain | sed '2,$s/^/                    /')"
    echo "Rebuilding:         git checkout $COMMIT && ./scripts/release.sh, then compare (docs/release.md)"
  } >"$dist/README.txt"
}

# The Debian packages whose versions decide the bytes, and the libraries build-deps.sh makes.
toolchain() {
  local package
  for package in g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev 7zip cmake; do
    echo "$package $(dpkg-query -W -f '${Version}' "$package" 2>/dev/null || echo unknown)"
  done
  # cpp-httplib is for the tests only.
  sed -n 's/^\([A-Z]*\)_VERSION=\(.*\)/\1 \2/p' "$ROOT/scripts/build-deps.sh" | tr '[:upper:]' '[:lower:]' | grep -v '^httplib' |
    awk '{ printf "%s%s %s", (NR > 1 ? ", " : "libraries "), $1, $2 } END { print "" }'
}

# The signing key, when one is given: SIGN_ARGS for osslsigncode.
SIGN_ARGS=()
SIGNED_BY=""
choose_key() {
  if [ -n "${VLM_SIGN_PFX:-}" ] && { [ -n "${VLM_SIGN_CERT:-}" ] || [ -n "${VLM_SIGN_KEY:-}" ]; }; then
    fail "give VLM_SIGN_PFX or VLM_SIGN_CERT with VLM_SIGN_KEY, not both"
  fi
  if [ -n "${VLM_SIGN_PFX:-}" ]; then
    [ -f "$VLM_SIGN_PFX" ] || fail "VLM_SIGN_PFX: no file $VLM_SIGN_PFX"
    SIGN_ARGS=(-pkcs12 "$VLM_SIGN_PFX")
  elif [ -n "${VLM_SIGN_CERT:-}" ] || [ -n "${VLM_SIGN_KEY:-}" ]; then
    if [ -z "${VLM_SIGN_CERT:-}" ] || [ -z "${VLM_SIGN_KEY:-}" ]; then
      fail "VLM_SIGN_CERT and VLM_SIGN_KEY go together: one of them is missing"
    fi
    [ -f "$VLM_SIGN_CERT" ] || fail "VLM_SIGN_CERT: no file $VLM_SIGN_CERT"
    [ -f "$VLM_SIGN_KEY" ] || fail "VLM_SIGN_KEY: no file $VLM_SIGN_KEY"
    SIGN_ARGS=(-certs "$VLM_SIGN_CERT" -key "$VLM_SIGN_KEY")
  fi
}

# sign_dist DIST ENDPOINT: signs both installers and checks each signature.
sign_dist() {
  local dist=$1 endpoint=$2 name file
  local verify_args=()
  [ -z "${VLM_SIGN_CAFILE:-}" ] || verify_args=(-CAfile "$VLM_SIGN_CAFILE")
  local extra=(-h sha256 -n "Vellumora Installer" -i "$endpoint")
  [ -z "${VLM_SIGN_TIMESTAMP_URL:-}" ] || extra+=(-ts "$VLM_SIGN_TIMESTAMP_URL")
  for name in "${PROGRAMS[@]}"; do
    file=$dist/$name.exe
    rm -f "$file.signed" "$file.back"
    # The password reaches osslsigncode through a pipe, never its command line.
    if [ -n "${VLM_SIGN_PFX:-}" ]; then
      osslsigncode sign "${SIGN_ARGS[@]}" -readpass <(printf '%s' "${VLM_SIGN_PASSWORD:-}") "${extra[@]}" \
        -in "$file" -out "$file.signed" >"$dist/sign.log" 2>&1 || { cat "$dist/sign.log"; fail "signing $name.exe failed"; }
    else
      osslsigncode sign "${SIGN_ARGS[@]}" "${extra[@]}" -in "$file" -out "$file.signed" >"$dist/sign.log" 2>&1 ||
        { cat "$dist/sign.log"; fail "signing $name.exe failed"; }
    fi
    osslsigncode verify "${verify_args[@]}" -in "$file.signed" >"$dist/verify.log" 2>&1 ||
      { cat "$dist/verify.log"; fail "osslsigncode verify refuses the signed $name.exe (a private or test root goes in VLM_SIGN_CAFILE)"; }
    # Without its signature the file must be the build's bytes: what a rebuild compares.
    if ! osslsigncode remove-signature -in "$file.signed" -out "$file.back" >/dev/null 2>&1 ||
      ! cmp -s "$file" "$file.back"; then
      fail "$name.exe without its signature differs from the build"
    fi
    mv -f "$file.signed" "$file"
    rm -f "$file.back"
  done
  SIGNED_BY="Authenticode SHA-256 by $(sed -n 's/^[[:space:]]*Subject: //p' "$dist/verify.log" | head -n 1)"
  SIGNED_BY+=$'\n'"                    signer certificate SHA-256 $(signer_thumbprint)"
  [ -n "${VLM_SIGN_TIMESTAMP_URL:-}" ] ||
    SIGNED_BY+=$'\n'"                    no time stamp: the signature counts only while the certificate is valid"
  rm -f "$dist/sign.log" "$dist/verify.log"
}

# The SHA-256 thumbprint of the signing certificate (the leaf), as Windows shows it.
signer_thumbprint() {
  if [ -n "${VLM_SIGN_PFX:-}" ]; then
    openssl pkcs12 -in "$VLM_SIGN_PFX" -passin file:<(printf '%s' "${VLM_SIGN_PASSWORD:-}") -clcerts -nokeys 2>/dev/null
  else
    cat "$VLM_SIGN_CERT"
  fi | openssl x509 -noout -fingerprint -sha256 | sed 's/.*=//; s/://g'
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

start=$(date +%s)
case $mode in
  release)
    choose_key
    work=$ROOT/build-release
    export_commit "$work/vellumora"
    build_dist "$work/vellumora" "$work/dist"
    endpoint=$(cache_value "$work/vellumora/build" VLM_REDIRECT_ENDPOINT)
    if [ ${#SIGN_ARGS[@]} -gt 0 ]; then
      sign_dist "$work/dist" "$endpoint"
      write_readme "$work/vellumora/build" "$work/dist"
      say "signed and verified: ${PROGRAMS[*]/%/.exe}"
    else
      say "unsigned: no signing key given (VLM_SIGN_CERT and VLM_SIGN_KEY, or VLM_SIGN_PFX and VLM_SIGN_PASSWORD)"
    fi
    checksum_dist "$work/dist"
    rm -rf "$ROOT/dist"
    mv "$work/dist" "$ROOT/dist"
    say "version $VERSION, commit $COMMIT, in $(($(date +%s) - start)) s:"
    (cd "$ROOT/dist" && find . -name '*.exe' -o -name '*.debug' | sort | sed 's|^\./||' | xargs stat -c '    %10s  %n')
    ;;
  verify)
    work=$ROOT/build-verify
    rm -rf "$work"
    # Two paths of different lengths, so nothing that depends on where the tree sits agrees by chance.
    first=$work/one/vellumora
    second=$work/second-build/somewhere/deeper/vellumora-copy
    export_commit "$first"
    export_commit "$second"
    build_dist "$first" "$work/one/dist"
    build_dist "$second" "$work/second-build/dist"
    checksum_dist "$work/one/dist"
    checksum_dist "$work/second-build/dist"
    if compare_dists "$work/one/dist" "$work/second-build/dist"; then
      say "in $(($(date +%s) - start)) s"
      rm -rf "$work"
    else
      say "both builds are kept in $work"
      exit 1
    fi
    ;;
esac
