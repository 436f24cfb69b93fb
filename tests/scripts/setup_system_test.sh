#!/usr/bin/env bash
# What setup-system.sh decides when apt fails the way a mirror in mid-sync makes it fail:
# apt-get, dpkg and sudo are stand-ins on PATH that record their calls, so no network is used.
#   setup_system_test.sh path/to/setup-system.sh
set -u
SCRIPT=$1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

ALL64="wine wine64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 xvfb xauth xdotool
imagemagick fonts-wqy-microhei 7zip cmake ninja-build googletest locales dpkg-dev python3-pil clang-format
openssl osslsigncode softhsm2 libengine-pkcs11-openssl opensc python3-jsonschema tinyproxy nginx-light
wixl msitools faketime"

mkdir -p "$WORK/bin"
cat >"$WORK/bin/dpkg" <<'SH'
#!/usr/bin/env bash
case $1 in
  --print-foreign-architectures) echo i386 ;;
  -s) grep -qx -- "$2" "$STATE/installed" ;;
  *) exit 0 ;;
esac
SH
# update: fails as the mirror did while STATE/broken-mirror exists; install: a 32-bit
# package fails while the mirror is broken, anything fails while STATE/no-install exists.
cat >"$WORK/bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "apt-get $*" >>"$STATE/calls"
for a in "$@"; do
  case $a in
    update)
      if [ -e "$STATE/broken-mirror" ]; then
        echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
      fi
      exit 0 ;;
    install) mode=install ;;
  esac
done
[ "${mode:-}" = install ] || exit 0
[ -e "$STATE/no-install" ] && exit 100
shift
for p in "$@"; do
  case $p in
    -*) ;;
    *:i386) [ -e "$STATE/broken-mirror" ] && { echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100; } ;;
  esac
done
for p in "$@"; do case $p in -*) ;; *) echo "$p" >>"$STATE/installed" ;; esac; done
SH
# dpkg-query -W -f=FORMAT PACKAGE: "installed" for the listed ones, "config-files" for the
# ones listed in STATE/removed (removed, not purged), nothing otherwise.
cat >"$WORK/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
p=${!#}
if grep -qx -- "$p" "$STATE/installed"; then printf installed
elif grep -qx -- "$p" "$STATE/removed" 2>/dev/null; then printf config-files
else exit 1; fi
SH
printf '#!/bin/sh\nexec "$@"\n' >"$WORK/bin/sudo"
chmod +x "$WORK/bin/"*

# scenario NAME: a fresh state; the caller then adds files and calls run.
scenario() {
  CASE=$1
  export STATE=$WORK/$CASE
  mkdir -p "$STATE"
  : >"$STATE/installed"
  : >"$STATE/calls"
  touch "$STATE/sources"
}
run() {
  PATH="$WORK/bin:$PATH" VLM_APT_TRIES=3 VLM_APT_PAUSE=0 VLM_SETUP_SOURCES_FILE=$STATE/sources \
    bash "$SCRIPT" >"$STATE/out" 2>&1
  RC=$?
}
expect() { # description condition...
  local what=$1
  shift
  if ! "$@"; then
    echo "FAIL [$CASE] $what"
    sed 's/^/    out: /' "$STATE/out"
    sed 's/^/    call: /' "$STATE/calls"
    failures=$((failures + 1))
  fi
}
updates() { grep -c '^apt-get update' "$STATE/calls"; }
said() { grep -q -- "$1" "$STATE/out"; }
installed() { grep -qx -- "$1" "$STATE/installed"; }

scenario fresh-broken-mirror
touch "$STATE/broken-mirror"
run
expect "exits 0" test "$RC" -eq 0
expect "retries apt-get update three times" test "$(updates)" -eq 3
expect "names the index file that failed" said 'binary-i386/Packages.xz'
expect "installs the 64-bit packages" installed wine64
expect "installs the mingw toolchain" installed g++-mingw-w64-x86-64-posix
expect "does not claim the 32-bit Wine" bash -c "! grep -qx 'wine32:i386' '$STATE/installed'"
expect "says the twin runs everything, once" test "$(grep -c '64-bit twin' "$STATE/out")" -eq 1

scenario later-healthy-mirror
printf '%s\n' $ALL64 >"$STATE/installed"
run
expect "exits 0" test "$RC" -eq 0
expect "one apt-get update" test "$(updates)" -eq 1
expect "installs the 32-bit Wine" installed 'wine32:i386'
expect "says so" said 'installed the 32-bit Wine'

scenario only-32bit-missing-mirror-still-broken
printf '%s\n' $ALL64 >"$STATE/installed"
touch "$STATE/broken-mirror"
run
expect "exits 0" test "$RC" -eq 0
expect "tries apt-get update once, not three times" test "$(updates)" -eq 1
expect "says the twin runs everything" said '64-bit twin'

scenario nothing-missing
printf '%s\n' $ALL64 'wine32:i386' >"$STATE/installed"
run
expect "exits 0" test "$RC" -eq 0
expect "calls apt-get not at all" test ! -s "$STATE/calls"

scenario removed-not-purged
printf '%s\n' $ALL64 >"$STATE/installed"
echo 'wine32:i386' >"$STATE/removed"
run
expect "exits 0" test "$RC" -eq 0
expect "installs a removed 32-bit Wine again" installed 'wine32:i386'

scenario 64bit-install-fails
touch "$STATE/no-install"
run
expect "fails when the 64-bit packages cannot be installed" test "$RC" -ne 0

scenario sources-file-missing
rm -f "$STATE/sources"
printf '%s\n' $ALL64 'wine32:i386' >"$STATE/installed"
run
expect "exits 0" test "$RC" -eq 0
expect "writes the deb-src entries" grep -q '^Types: deb-src' "$STATE/sources"
expect "updates apt's lists for them" test "$(updates)" -eq 1

checks=$(grep -c '^expect ' "$0")
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
