# Shared by test.sh and demo.sh: build folder, Wine prefix, Xvfb and wineserver.
# Source it; it defines functions and exports the environment they need.

VLM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VLM_BUILD=${VLM_BUILD:-$VLM_ROOT/build}
export WINEPREFIX=${WINEPREFIX:-$VLM_BUILD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# winemenubuilder would mirror shortcuts the tests create onto the real desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
VLM_STARTED_XVFB=""
VLM_STARTED_WINESERVER=""

vlm_prepare() {
  "$VLM_ROOT/scripts/setup-system.sh"
  "$VLM_ROOT/scripts/build-deps.sh"
}

vlm_build() {
  if [ ! -f "$VLM_BUILD/build.ninja" ]; then
    cmake -S "$VLM_ROOT" -B "$VLM_BUILD" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$VLM_ROOT/cmake/mingw-i686.cmake" >/dev/null
  fi
  # VLM_TARGETS="a b" builds only those targets (and the log viewer the harness needs).
  if [ -n "${VLM_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build "$VLM_BUILD" --target vlmlog $VLM_TARGETS
  else
    cmake --build "$VLM_BUILD"
  fi
}

vlm_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.vlm-ready" ]; then
    echo "== creating the Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    # The layouts ask for 微软雅黑, which Wine lacks: map it to a CJK font we install.
    for face in '微软雅黑' 'Microsoft YaHei'; do
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
    done
    wineserver -w
    # Wine links Desktop, Documents… to the user's home; shortcuts the demo package makes
    # would land there. Plain folders keep everything inside the prefix.
    local link
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ]; then
        rm -f "$link" && mkdir -p "$link"
      fi
    done
    touch "$WINEPREFIX/.vlm-ready"
  fi
}

vlm_start_display() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${VLM_FORCE_XVFB:-}" ]; then
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
  wineserver -p
  VLM_STARTED_WINESERVER=1
  # One trivial program brings up Wine's services now, so tests do not each pay for it.
  wine "$VLM_BUILD/bin/vlmlog.exe" </dev/null >/dev/null 2>&1 || true
}

vlm_stop() {
  if [ -n "$VLM_STARTED_WINESERVER" ]; then
    wineserver -k >/dev/null 2>&1 || true
    VLM_STARTED_WINESERVER=""
  fi
  if [ -n "$VLM_STARTED_XVFB" ]; then
    kill "$VLM_STARTED_XVFB" >/dev/null 2>&1 || true
    wait "$VLM_STARTED_XVFB" 2>/dev/null || true
    VLM_STARTED_XVFB=""
  fi
}
