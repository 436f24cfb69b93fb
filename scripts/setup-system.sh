#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to rerun:
# it does nothing when everything is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  wine wine32:i386 wine64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  xvfb xauth xdotool imagemagick fonts-wqy-microhei 7zip
  cmake ninja-build googletest locales dpkg-dev python3-pil clang-format
  openssl osslsigncode tinyproxy
)

SOURCES_FILE=/etc/apt/sources.list.d/vellumora-src.sources

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
if [ ! -f "$SOURCES_FILE" ]; then
  # Source packages of the libraries we build for mingw, plus backports for a recent curl.
  $SUDO tee "$SOURCES_FILE" >/dev/null <<'SRC'
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ] && [ "$need_update" -eq 0 ]; then
  exit 0
fi

echo "== installing: ${missing[*]:-(sources only)}"
$SUDO apt-get update -qq
if [ "${#missing[@]}" -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
