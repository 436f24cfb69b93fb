#!/usr/bin/env bash
# Builds the installer and runs it under Wine, printing its log lines.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
trap vlm_stop EXIT

vlm_prepare
vlm_build
vlm_wine_prefix
vlm_start_display
vlm_start_wineserver

echo "== running VellumoraInstaller.exe under Wine (log lines follow)"
status=0
wine "$VLM_BUILD/bin/vlmlog.exe" --timeout=600 "$VLM_BUILD/bin/VellumoraInstaller.exe" "$@" || status=$?
echo "== the installer exited with $status"
