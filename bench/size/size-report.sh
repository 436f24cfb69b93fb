#!/usr/bin/env bash
# Where the bytes of the two shipped installers go: per PE section and per library or folder
# of our code (from the link maps the installers' links write), stripped as scripts/release.sh
# strips them.
#   bench/size/size-report.sh [--compare OLD.json] [BUILD_DIR]
# BUILD_DIR: a 32-bit build to measure (default build-size, configured on first use with the
# release's settings and built from the working tree); its two installers are (re)built.
# Writes BUILD_DIR/size-report.json (give it to --compare after the next change) and
# BUILD_DIR/size-report.md, and prints the latter. Needs no Wine.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
MINGW=i686-w64-mingw32

compare=()
if [ "${1:-}" = --compare ]; then
  compare=(--compare "$(readlink -f "$2")")
  shift 2
fi
build=$(readlink -m "${1:-$ROOT/build-size}")

if [ ! -f "$build/build.ninja" ]; then
  "$ROOT/scripts/build-deps.sh" i686
  # The settings scripts/release.sh builds with (VLM_REPRODUCIBLE aside, which moves no byte
  # count); keep them in step.
  cmake -S "$ROOT" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS_RELEASE=-O2 -g -DNDEBUG" \
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -g -DNDEBUG" >/dev/null
fi
cmake --build "$build" --target VellumoraInstaller VellumoraInstallerIntl >/dev/null

out=$build/size-report
mkdir -p "$out"
programs=()
for name in VellumoraInstaller VellumoraInstaller-intl; do
  "$MINGW-strip" --strip-all -o "$out/$name.exe" "$build/bin/$name.exe"
  programs+=("$name=$out/$name.exe,$build/src/app/$name.exe.map")
done
python3 "$ROOT/bench/size/size_summary.py" --json "$build/size-report.json" "${compare[@]}" "${programs[@]}" \
  >"$build/size-report.md"
cat "$build/size-report.md"
echo
(cd "$out" && ls -l ./*.exe)
