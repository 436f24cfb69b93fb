#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Safe to rerun: it does nothing
# when everything is already there.
#
# Two steps: everything the 64-bit twin needs (a failure there is fatal), then the 32-bit
# Wine. A package mirror in the middle of a sync can lack the i386 index for a while, and
# then wine32:i386 cannot be installed at all; the scripts then run on the twin, exactly as
# on a host that cannot run 32-bit programs, and a later run installs it.
#
# VLM_APT_TRIES (default 3) and VLM_APT_PAUSE (seconds, default 10) set the retries of
# 'apt-get update'; VLM_SETUP_SOURCES_FILE moves the deb-src file (the script's own test).
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES_64=(
  wine wine64
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  xvfb xauth xdotool imagemagick fonts-wqy-microhei 7zip
  cmake ninja-build googletest locales dpkg-dev python3-pil clang-format
  openssl osslsigncode softhsm2 libengine-pkcs11-openssl opensc python3-jsonschema
  tinyproxy nginx-light
  wixl msitools faketime
)
PACKAGES_32=(wine32:i386)

SOURCES_FILE=${VLM_SETUP_SOURCES_FILE:-/etc/apt/sources.list.d/vellumora-src.sources}
TRIES=${VLM_APT_TRIES:-3}
PAUSE=${VLM_APT_PAUSE:-10}

say() { echo "== setup: $*"; }

# A package removed but not purged still has a status ("config-files"): only "installed" counts.
missing_of() { # package...
  local p
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" = installed ] || echo "$p"
  done
}

# 'apt-get update' with retries. A run in which only some index files failed still leaves
# apt with the lists it has (old ones or none for those files): go on, and say which.
apt_update() {
  local try out rc failed=""
  for ((try = 1; try <= TRIES; try++)); do
    rc=0
    out=$($SUDO apt-get update -qq 2>&1) || rc=$?
    failed=$(printf '%s\n' "$out" | sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p')
    if [ "$rc" -eq 0 ] && [ -z "$failed" ]; then
      return 0
    fi
    if [ "$try" -lt "$TRIES" ]; then
      say "apt-get update failed (try $try of $TRIES); again in ${PAUSE} s"
      sleep "$PAUSE"
    fi
  done
  if [ -n "$failed" ]; then
    say "going on without these index files (apt keeps the lists it has):"
    printf '%s\n' "$failed" | sed 's/^/    /'
  else
    say "apt-get update failed; going on with the lists apt has:"
    printf '%s\n' "$out" | tail -n 3 | sed 's/^/    /'
  fi
}

install_packages() { # package...
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

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

mapfile -t missing64 < <(missing_of "${PACKAGES_64[@]}")
mapfile -t missing32 < <(missing_of "${PACKAGES_32[@]}")
if [ "${#missing64[@]}" -eq 0 ] && [ "${#missing32[@]}" -eq 0 ] && [ "$need_update" -eq 0 ]; then
  exit 0
fi

# Only the 32-bit Wine missing: one try, so a host whose mirror still lacks it does not
# pay for the retries on every run.
if [ "${#missing64[@]}" -eq 0 ] && [ "$need_update" -eq 0 ]; then
  TRIES=1
fi
apt_update

if [ "${#missing64[@]}" -gt 0 ]; then
  say "installing: ${missing64[*]}"
  install_packages "${missing64[@]}"
fi
if [ "${#missing32[@]}" -gt 0 ]; then
  if install_packages "${missing32[@]}" 2>/dev/null; then
    say "installed the 32-bit Wine (${missing32[*]})"
  else
    say "the 32-bit Wine (${missing32[*]}) cannot be installed now; tests and the demo run on the 64-bit twin"
  fi
fi
exit 0
