#!/usr/bin/env bash
# Runs the toolkit start-up benchmark under Wine (Xvfb) and prints medians.
#   VLM_BUILD=/path/to/build bench/toolkit/run.sh [runs]
# Without VLM_BUILD: the build of the architecture this host runs (VLM_ARCH picks one).
# VLM_BENCH_REFERENCE=/path/to/other/vlm_bench_toolkit.exe runs that program too, in turns with
# this build's, so two versions compare in one run (its skin's decode figures, if it prints
# them, come from its own archive).
set -euo pipefail
BENCH_BUILD=${VLM_BUILD:-}
reference=${VLM_BENCH_REFERENCE:-}
source "$(dirname "$0")/../../scripts/lib.sh"
runs=${1:-7}
trap vlm_stop EXIT
vlm_prepare >/dev/null
vlm_use_arch "$(vlm_default_arch)" "$BENCH_BUILD"
echo "benchmarking $(vlm_describe_build)"
VLM_TARGETS=vlm_bench_toolkit vlm_build >/dev/null
vlm_wine_prefix
vlm_start_display
vlm_start_wineserver
exe="$VLM_BUILD/bin/vlm_bench_toolkit.exe"
wine "$exe" >/dev/null 2>&1 || true # warm-up: first run pays for Wine's font cache

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
field() { tr ' ' '\n' | sed -n "s/^$1=//p"; }
declare -A values
keep() { # program-label line field...
  local label=$1 line=$2 f
  shift 2
  for f in "$@"; do
    values[$label.$f]+="$(echo "$line" | field "$f") "
  done
}
decode_fields=(first_paint_ms archive_bytes decode96_ms decode144_ms decode192_ms frames96_ms frames144_ms frames192_ms skin_decode_ms)
for _ in $(seq "$runs"); do
  keep this "$(wine "$exe" 2>/dev/null | tr -d '\r')" "${decode_fields[@]}"
  if [ -n "$reference" ]; then
    keep reference "$(wine "$reference" 2>/dev/null | tr -d '\r')" "${decode_fields[@]}"
  fi
  keep bare "$(wine "$exe" --plain 2>/dev/null | tr -d '\r')" first_paint_ms
done
native_start=$(date +%s%N)
for _ in $(seq "$runs"); do 7zz t "$VLM_BUILD/skin.7z" >/dev/null; done
native_ms=$(( ($(date +%s%N) - native_start) / 1000000 / runs ))

med() { echo "${values[$1]:-}" | tr ' ' '\n' | { grep . || true; } | median; }
# The fastest run: on a shared machine the least disturbed one.
least() { echo "${values[$1]:-}" | tr ' ' '\n' | { grep . || true; } | sort -n | head -1; }
echo "runs: $runs (medians)"
bare=$(med bare.first_paint_ms)
bare_least=$(least bare.first_paint_ms)
echo "first paint, bare window:  ${bare} ms, fastest ${bare_least} ms (Wine's own cost)   [all: ${values[bare.first_paint_ms]}]"
for label in this reference; do
  [ -n "${values[$label.first_paint_ms]:-}" ] || continue
  p=$(med "$label.first_paint_ms")
  l=$(least "$label.first_paint_ms")
  echo "$label:"
  echo "  first paint, main layout: ${p} ms, $(awk -v p="$p" -v r="$bare" 'BEGIN { printf "%.2f", p / r }') x bare; fastest ${l} ms, $(awk -v p="$l" -v r="$bare_least" 'BEGIN { printf "%.2f", p / r }') x the fastest bare   [all: ${values[$label.first_paint_ms]}]"
  for f in archive_bytes decode96_ms decode144_ms decode192_ms frames96_ms frames144_ms frames192_ms skin_decode_ms; do
    v=$(med "$label.$f")
    [ -z "$v" ] || echo "  $f: $v"
  done
done
echo "native 7zz t skin.7z: ${native_ms} ms per run (includes process start)"
