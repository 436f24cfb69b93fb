#!/usr/bin/env bash
# Runs the toolkit start-up benchmark under Wine (Xvfb) and prints medians.
#   VLM_BUILD=/path/to/build bench/toolkit/run.sh [runs]
# Without VLM_BUILD: the build of the architecture this host runs (VLM_ARCH picks one).
set -euo pipefail
BENCH_BUILD=${VLM_BUILD:-}
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
paint=(); plain=(); skin=()
for _ in $(seq "$runs"); do
  line=$(wine "$exe" 2>/dev/null | tr -d '\r')
  paint+=("$(echo "$line" | field first_paint_ms)")
  skin+=("$(echo "$line" | field skin_decode_ms)")
  plain+=("$(wine "$exe" --plain 2>/dev/null | tr -d '\r' | field first_paint_ms)")
done
native_start=$(date +%s%N)
for _ in $(seq "$runs"); do 7zz t "$VLM_BUILD/skin.7z" >/dev/null; done
native_ms=$(( ($(date +%s%N) - native_start) / 1000000 / runs ))

p=$(printf '%s\n' "${paint[@]}" | median)
r=$(printf '%s\n' "${plain[@]}" | median)
s=$(printf '%s\n' "${skin[@]}" | median)
echo "runs: $runs"
echo "first paint, main layout: median ${p} ms (target <= 300)   [all: ${paint[*]}]"
echo "first paint, bare window: median ${r} ms (Wine's own cost)   [all: ${plain[*]}]"
echo "skin load+decode:         median ${s} ms (target <= 50)    [all: ${skin[*]}]"
echo "native 7zz t skin.7z:     ${native_ms} ms per run (includes process start)"
awk -v p="$p" -v r="$r" 'BEGIN { if (r > 0) printf "ratio main/bare: %.2f\n", p / r }'
