#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine (labels: unit,
# integration, gui). Extra arguments go to ctest, e.g. ./scripts/test.sh -L unit
# Tests run one at a time: Wine's helper processes inherit a test's output pipe when
# tests start side by side, and CTest then waits for them.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

start=$(date +%s)
trap vlm_stop EXIT

vlm_prepare
vlm_build
built=$(date +%s)

vlm_wine_prefix
vlm_start_display
vlm_start_wineserver

status=0
(cd "$VLM_BUILD" && ctest --output-on-failure --timeout 120 "$@") || status=$?
end=$(date +%s)
echo "== timing: prepare+build $((built - start)) s, tests $((end - built)) s, total $((end - start)) s"
exit $status
