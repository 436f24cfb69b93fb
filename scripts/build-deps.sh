#!/usr/bin/env bash
# Builds the third-party libraries for mingw from Debian's source packages into
# .deps/ (ignored by git), once per architecture: .deps/i686 for the shipped program,
# .deps/x86_64 for its 64-bit twin. The source tarballs are fetched once into
# .deps/sources. Each library is built once; a stamp file keyed by its version and its build
# options makes reruns free, and a changed option rebuilds it.
#   scripts/build-deps.sh [i686|x86_64 ...]   (default: both)
#   scripts/build-deps.sh --sources           each library's name, version, Debian source
#                                             package, suite and the tarball it is built from
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS_ROOT=${VLM_DEPS_DIR:-$ROOT/.deps}
TARBALLS=$DEPS_ROOT/sources
mkdir -p "$TARBALLS"

CURL_VERSION=8.14.1
JSONCPP_VERSION=1.9.5
PUGIXML_VERSION=1.13
SEVENZIP_VERSION=22.01
HTTPLIB_VERSION=0.11.4

# Where each comes from: Debian source package/suite and the upstream tarball.
CURL_SOURCE=(curl/bookworm-backports "curl_${CURL_VERSION}*.orig.tar.*")
JSONCPP_SOURCE=(libjsoncpp/bookworm "libjsoncpp_${JSONCPP_VERSION}*.orig.tar.*")
PUGIXML_SOURCE=(pugixml/bookworm "pugixml_${PUGIXML_VERSION}*.orig.tar.*")
# The suite is pinned: backports' .dsc 404s.
SEVENZIP_SOURCE=(7zip/bookworm "7zip_${SEVENZIP_VERSION}*.orig.tar.*")
HTTPLIB_SOURCE=(cpp-httplib/bookworm "cpp-httplib_${HTTPLIB_VERSION}*.orig.tar.*")

# libcurl with what the downloaders use and nothing else: HTTP and HTTPS (Schannel), file://
# package URLs, HTTP proxies with Basic, Digest, NTLM and Negotiate (SSPI). Every other
# protocol (one by one: HTTP_ONLY would take file:// too) and the features
# only options we never set switch on (cookies, alt-svc, HSTS, DoH, MIME, netrc, WebSockets…)
# are left out. Size-optimised (as fast on the download bench, bench/README.md), without
# unwind tables (no exception may pass through C code) and with a section per function, so
# the link drops what no caller reaches.
CURL_OPTIONS=(-DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_CURL_EXE=OFF
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBPSL=OFF
  -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DUSE_NGHTTP2=OFF -DCURL_ZLIB=OFF
  -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_LIBIDN2=OFF
  -DUSE_WIN32_IDN=OFF -DCURL_USE_PKGCONFIG=OFF -DBUILD_TESTING=OFF
  -DBUILD_LIBCURL_DOCS=OFF -DBUILD_MISC_DOCS=OFF -DENABLE_CURL_MANUAL=OFF -DBUILD_EXAMPLES=OFF
  -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FTP=ON -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON
  -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IPFS=ON
  -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON
  -DCURL_DISABLE_TFTP=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_WEBSOCKETS=ON -DENABLE_UNIX_SOCKETS=OFF
  -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON
  -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_FORM_API=ON -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_AWS=ON
  -DCURL_DISABLE_BEARER_AUTH=ON -DCURL_DISABLE_KERBEROS_AUTH=ON -DCURL_DISABLE_BINDLOCAL=ON
  -DCURL_DISABLE_GETOPTIONS=ON -DCURL_DISABLE_HEADERS_API=ON -DCURL_DISABLE_PARSEDATE=ON
  -DCURL_DISABLE_PROGRESS_METER=ON
  "-DCMAKE_C_FLAGS_RELEASE=-Os -DNDEBUG"
  "-DCMAKE_C_FLAGS=-fno-asynchronous-unwind-tables -ffunction-sections")

# jsoncpp reads the language table. Size-optimised like the rest of the program (91 kB instead
# of 210 kB; the table parses in under a millisecond either way); it throws, so it keeps its
# unwind tables. Built to read only (patches/jsoncpp-without-streams.patch, JSONCPP_NO_STREAMS):
# numbers parse with strtod and the writers, which build text through string streams, are left
# out, so the C++ stream and locale library stays out of the program (about 0.9 MB).
JSONCPP_PATCH=$ROOT/scripts/patches/jsoncpp-without-streams.patch
JSONCPP_OPTIONS=(-DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF
  -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF
  "-DCMAKE_CXX_FLAGS_RELEASE=-Os -DNDEBUG -DJSONCPP_NO_STREAMS")

# apt-get source as root downloads unsandboxed and says so; some .dsc files 404
# although the tarball arrives, so success is judged by the tarball, not apt.
fetch_source() { # package/suite tarball-glob
  local package=$1 glob=$2
  if ! compgen -G "$TARBALLS/$glob" >/dev/null; then
    (cd "$TARBALLS" && apt-get source --download-only "$package" >/dev/null 2>&1) || true
  fi
  local found
  found=$(compgen -G "$TARBALLS/$glob" | head -n 1 || true)
  if [ -z "$found" ]; then
    echo "build-deps: could not fetch $package (is the deb-src entry present? run scripts/setup-system.sh)" >&2
    exit 1
  fi
  echo "$found"
}

unpack() { # tarball destination
  rm -rf "$2" && mkdir -p "$2"
  tar -xf "$1" -C "$2" --strip-components=1
}

stamp_ok() { [ -f "$DEPS/$1.stamp" ] && [ "$(cat "$DEPS/$1.stamp")" = "$2" ]; }
stamp_set() { echo "$2" >"$DEPS/$1.stamp"; }

cmake_build() { # source-dir build-dir extra-args...
  local srcdir=$1 builddir=$2
  shift 2
  cmake -S "$srcdir" -B "$builddir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" "$@" >"$builddir.log" 2>&1 ||
    { tail -n 40 "$builddir.log"; exit 1; }
  cmake --build "$builddir" --target install >>"$builddir.log" 2>&1 ||
    { tail -n 40 "$builddir.log"; exit 1; }
}

# cmake_library NAME VERSION PACKAGE/SUITE TARBALL-GLOB PATCH OPTIONS...: builds and installs a
# CMake library unless its stamp records this version built with these options. PATCH (a file of
# ours applied to the unpacked source, or "") is named in the stamp by its content.
cmake_library() {
  local name=$1 version=$2 package=$3 glob=$4 patch=$5 tarball
  shift 5
  # The compiler, the toolchain file and our patch are part of what was built.
  local stamp patched=""
  [ -z "$patch" ] || patched="patch $(basename "$patch") $(sha256sum <"$patch" | cut -c1-16)"
  stamp="$version $*${patched:+ $patched} $("$arch-w64-mingw32-gcc-posix" --version | head -n 1) $(cat "$TOOLCHAIN" "$ROOT/cmake/mingw-common.cmake" | sha256sum | cut -c1-16)"
  stamp_ok "$name" "$stamp" && return 0
  echo "== building $name $version ($arch)"
  tarball=$(fetch_source "$package" "$glob")
  unpack "$tarball" "$SRC/$name"
  [ -z "$patch" ] || patch -s -p1 -d "$SRC/$name" <"$patch"
  rm -rf "$SRC/$name-build"
  cmake_build "$SRC/$name" "$SRC/$name-build" "$@"
  # No build folder is left behind: its cache would carry these options into a build by
  # another checkout's script that does not name them.
  rm -rf "$SRC/$name-build"
  stamp_set "$name" "$stamp"
}

build_for() { # i686|x86_64
  local arch=$1
  DEPS=$DEPS_ROOT/$arch
  PREFIX=$DEPS/prefix
  SRC=$DEPS/src
  TOOLCHAIN=$ROOT/cmake/mingw-$arch.cmake
  mkdir -p "$PREFIX" "$SRC"
  local tarball cdir

  cmake_library curl "$CURL_VERSION" "${CURL_SOURCE[@]}" "" "${CURL_OPTIONS[@]}"
  cmake_library jsoncpp "$JSONCPP_VERSION" "${JSONCPP_SOURCE[@]}" "$JSONCPP_PATCH" "${JSONCPP_OPTIONS[@]}"

  # Sources compiled straight into our own build: pugixml, the 7z decoder, cpp-httplib.
  if ! stamp_ok pugixml "$PUGIXML_VERSION"; then
    echo "== unpacking pugixml $PUGIXML_VERSION"
    tarball=$(fetch_source "${PUGIXML_SOURCE[@]}")
    unpack "$tarball" "$PREFIX/src/pugixml"
    stamp_set pugixml "$PUGIXML_VERSION"
  fi

  if ! stamp_ok lzma "$SEVENZIP_VERSION"; then
    echo "== unpacking the 7z decoder ($SEVENZIP_VERSION)"
    tarball=$(fetch_source "${SEVENZIP_SOURCE[@]}")
    rm -rf "$SRC/7zip" && mkdir -p "$SRC/7zip"
    tar -xf "$tarball" -C "$SRC/7zip"
    cdir=$(find "$SRC/7zip" -maxdepth 2 -type d -name C | head -n 1)
    rm -rf "$PREFIX/src/lzma" && mkdir -p "$PREFIX/src/lzma"
    cp -r "$cdir" "$PREFIX/src/lzma/C"
    stamp_set lzma "$SEVENZIP_VERSION"
  fi

  if ! stamp_ok httplib "$HTTPLIB_VERSION"; then
    echo "== unpacking cpp-httplib $HTTPLIB_VERSION"
    tarball=$(fetch_source "${HTTPLIB_SOURCE[@]}")
    unpack "$tarball" "$SRC/cpp-httplib"
    mkdir -p "$PREFIX/include"
    cp "$SRC/cpp-httplib/httplib.h" "$PREFIX/include/httplib.h"
    stamp_set httplib "$HTTPLIB_VERSION"
  fi
}

# The listing the release's bill of materials starts from: the tarball each library's build
# took (the first match, as fetch_source takes it), "-" when none was fetched yet, and the
# patch of ours applied to it with its SHA-256, "-" when none.
list_sources() {
  local name version source glob patch tarball patched
  while read -r name version source glob patch; do
    tarball=$(compgen -G "$TARBALLS/$glob" | head -n 1 || true)
    patched=-
    [ "$patch" = - ] || patched="$(basename "$patch") $(sha256sum <"$patch" | cut -d' ' -f1)"
    echo "$name $version ${source%%/*} ${source#*/} $(basename "${tarball:--}") $patched"
  done <<LIST
curl $CURL_VERSION ${CURL_SOURCE[*]} -
jsoncpp $JSONCPP_VERSION ${JSONCPP_SOURCE[*]} $JSONCPP_PATCH
pugixml $PUGIXML_VERSION ${PUGIXML_SOURCE[*]} -
lzma $SEVENZIP_VERSION ${SEVENZIP_SOURCE[*]} -
httplib $HTTPLIB_VERSION ${HTTPLIB_SOURCE[*]} -
LIST
}

if [ "${1:-}" = --sources ]; then
  list_sources
  exit 0
fi

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)
for arch in "${archs[@]}"; do
  case $arch in
    i686 | x86_64) build_for "$arch" ;;
    *) echo "build-deps: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
  esac
done
