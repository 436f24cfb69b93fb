# shellcheck shell=bash
# Shared by every script: the two builds, the one way to run Windows programs, the Wine
# prefix, Xvfb and wineserver. Source it; it defines functions and exports what they need.
#
# Two builds of one tree: build/ is the shipped 32-bit program, build-x64/ its 64-bit twin.
# Hosts whose kernel refuses 32-bit Linux programs cannot start Wine's 32-bit loader; there
# Windows programs run through the 64-bit loader in a 64-bit prefix, so the twin runs the tests.

VLM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
# winemenubuilder would mirror shortcuts the tests create onto the real desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
VLM_WINE32_LOADER=/usr/lib/wine/wine
VLM_WINE64_LOADER=/usr/lib/wine/wine64
VLM_STARTED_XVFB=""
VLM_STARTED_WINESERVER=""
VLM_SMALL_DRIVE=""

vlm_prepare() {
  "$VLM_ROOT/scripts/setup-system.sh"
  "$VLM_ROOT/scripts/build-deps.sh" "$@"
}

# True when this host runs Wine's 32-bit loader. Asked of the loader itself, not of uname:
# a 64-bit kernel may or may not run 32-bit programs. The answer is kept in the environment
# so the programs CTest starts do not ask again.
vlm_host_runs_32bit() {
  if [ -z "${VLM_HOST_RUNS_32BIT:-}" ]; then
    if [ ! -e "$VLM_WINE64_LOADER" ] && [ ! -e "$VLM_WINE32_LOADER" ]; then
      echo "Wine is not installed yet: run scripts/setup-system.sh" >&2
      return 1
    fi
    if "$VLM_WINE32_LOADER" --version >/dev/null 2>&1; then
      VLM_HOST_RUNS_32BIT=yes
    else
      VLM_HOST_RUNS_32BIT=no
    fi
    export VLM_HOST_RUNS_32BIT
  fi
  [ "$VLM_HOST_RUNS_32BIT" = yes ]
}

# The architecture whose build runs the tests here: VLM_ARCH when set, else the shipped
# 32-bit build where the host runs it, else the twin.
vlm_default_arch() {
  if [ -n "${VLM_ARCH:-}" ]; then
    echo "$VLM_ARCH"
  elif vlm_host_runs_32bit; then
    echo i686
  else
    echo x86_64
  fi
}

vlm_arch_build_dir() { # i686|x86_64
  case $1 in
    i686) echo "${VLM_BUILD_I686:-$VLM_ROOT/build}" ;;
    x86_64) echo "${VLM_BUILD_X64:-$VLM_ROOT/build-x64}" ;;
    *) echo "unknown architecture '$1' (i686 or x86_64)" >&2; return 2 ;;
  esac
}

# Selects one build: VLM_ARCH_IN_USE, VLM_BUILD, and its Wine prefix (a WINEPREFIX the
# caller exported wins). A second argument names another build folder. Call it after
# vlm_prepare: which build runs depends on the Wine it installs.
vlm_use_arch() { # i686|x86_64 [build-dir]
  local arch=$1 dir=${2:-}
  [ -n "$dir" ] || dir=$(vlm_arch_build_dir "$arch") || return 2
  VLM_ARCH_IN_USE=$arch
  VLM_BUILD=$dir
  if [ -z "${VLM_CALLER_WINEPREFIX:-}" ]; then
    export WINEPREFIX=$VLM_BUILD/wineprefix
  fi
}
VLM_CALLER_WINEPREFIX=${WINEPREFIX:-}

# Where the host cannot start the 32-bit loader, Debian's launchers (wine, wineboot,
# winepath…) still pick it, since they only test its run bit. Wrappers first on PATH, for
# these scripts and what they start, send every launcher to the 64-bit loader instead.
vlm_wine_launchers() {
  if vlm_host_runs_32bit; then
    return 0
  fi
  local dir=$VLM_ROOT/.deps/wine64-launchers name
  if [ ! -x "$dir/winepath" ]; then
    mkdir -p "$dir"
    for name in wine wine64 wine-stable; do
      printf '#!/bin/sh\nexec %s "$@"\n' "$VLM_WINE64_LOADER" >"$dir/$name"
    done
    for name in wineboot winepath winecfg wineconsole winedbg msiexec regedit; do
      printf '#!/bin/sh\nexec %s %s.exe "$@"\n' "$VLM_WINE64_LOADER" "$name" >"$dir/$name"
    done
    chmod +x "$dir"/*
  fi
  case ":$PATH:" in
    *":$dir:"*) ;;
    *) export PATH="$dir:$PATH" ;;
  esac
  export WINEARCH=win64 WINELOADER=$VLM_WINE64_LOADER
}

vlm_configure() {
  if [ ! -f "$VLM_BUILD/build.ninja" ]; then
    cmake -S "$VLM_ROOT" -B "$VLM_BUILD" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$VLM_ROOT/cmake/mingw-$VLM_ARCH_IN_USE.cmake" \
      -DVLM_SHIPPED_BUILD="$(vlm_arch_build_dir i686)" -DVLM_TWIN_BUILD="$(vlm_arch_build_dir x86_64)" >/dev/null
  fi
}

vlm_build() {
  vlm_configure
  # VLM_TARGETS="a b" builds only those targets (and the log viewer the harness needs).
  if [ -n "${VLM_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build "$VLM_BUILD" --target vlmlog $VLM_TARGETS
  else
    cmake --build "$VLM_BUILD"
  fi
}

# Which build a script ran, for its output.
vlm_describe_build() {
  case $VLM_ARCH_IN_USE in
    i686) echo "i686 (the shipped 32-bit build, $VLM_BUILD)" ;;
    x86_64) echo "x86_64 (the 64-bit twin, $VLM_BUILD)" ;;
  esac
}

vlm_wine_prefix() {
  vlm_wine_launchers
  # A prefix made through the 64-bit loader alone lacks the 32-bit side the other kind of
  # host starts from: the mark says which kind made it and how it was set up, and a prefix
  # with any other mark is made anew.
  local kind="host-runs-32bit=$VLM_HOST_RUNS_32BIT unmanaged"
  if [ "$(cat "$WINEPREFIX/.vlm-ready" 2>/dev/null)" != "$kind" ]; then
    echo "== creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # The layouts ask for 微软雅黑, which Wine lacks: map it to a CJK font we install.
    for face in '微软雅黑' 'Microsoft YaHei'; do
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    # Without a window manager, Wine waits 2 s for one to confirm every managed window it
    # hides; unmanaged windows close at once, as they do on Windows.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    # Wine links Desktop, Documents… to the user's home; shortcuts the demo package makes
    # would land there. Plain folders keep everything inside the prefix.
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then
        rm -f "$link" && mkdir -p "$link"
      fi
    done
    echo "$kind" >"$WINEPREFIX/.vlm-ready"
  fi
}

vlm_start_display() {
  if [ -n "$VLM_STARTED_XVFB" ] || { [ -n "${DISPLAY:-}" ] && [ -z "${VLM_FORCE_XVFB:-}" ]; }; then
    return
  fi
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  VLM_STARTED_XVFB=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
}

vlm_start_wineserver() {
  vlm_wine_launchers
  if wineserver -p; then
    VLM_STARTED_WINESERVER=1
  else
    # Someone else's server for this prefix: use it, and leave it running at the end.
    echo "== a wineserver already runs for $WINEPREFIX; using it" >&2
  fi
  # One trivial program brings up Wine's services now, so tests do not each pay for it.
  wine "$VLM_BUILD/bin/vlmlog.exe" </dev/null >/dev/null 2>&1 || true
}

vlm_stop_wineserver() {
  if [ -n "$VLM_STARTED_WINESERVER" ]; then
    wineserver -k >/dev/null 2>&1 || true
    VLM_STARTED_WINESERVER=""
  fi
}

# A drive with 8 MiB free for the low-disk-space test: a tmpfs mounted in the build folder and
# given a drive letter of the prefix; VLM_SMALL_FOLDER names a folder on it. Only root can
# mount; without it the test skips.
vlm_start_small_drive() {
  local mountpoint=$VLM_BUILD/small-drive
  [ "$(id -u)" = 0 ] || return 0
  mkdir -p "$mountpoint"
  if ! mountpoint -q "$mountpoint"; then
    mount -t tmpfs -o size=8m vlm-small-drive "$mountpoint" 2>/dev/null || return 0
  fi
  VLM_SMALL_DRIVE=$mountpoint
  ln -sfn "$mountpoint" "$WINEPREFIX/dosdevices/s:"
  export VLM_SMALL_FOLDER='S:\quiet'
}

vlm_stop_small_drive() {
  if [ -n "$VLM_SMALL_DRIVE" ]; then
    rm -f "$WINEPREFIX/dosdevices/s:"
    umount "$VLM_SMALL_DRIVE" 2>/dev/null || true
    VLM_SMALL_DRIVE=""
    unset VLM_SMALL_FOLDER
  fi
}

vlm_stop() {
  vlm_stop_small_drive
  vlm_stop_wineserver
  if [ -n "$VLM_STARTED_XVFB" ]; then
    kill "$VLM_STARTED_XVFB" >/dev/null 2>&1 || true
    wait "$VLM_STARTED_XVFB" 2>/dev/null || true
    VLM_STARTED_XVFB=""
  fi
}
