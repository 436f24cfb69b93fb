#!/usr/bin/env bash
# Builds the per-machine MSI package around the installer with msitools' wixl:
#   build-msi.sh VERSION ENDPOINT INSTALLER.exe ACTIONS.dll OUT.msi
# from src/msi/Vellumora.wxs.in (or VLM_MSI_TEMPLATE: the copy a release stage keeps). The same inputs give the same bytes: the product code follows
# the version (a newer version is a new product of the same UpgradeCode), the package code
# follows the package's content, and with SOURCE_DATE_EPOCH set the file times in the cabinet
# and the summary's times are that moment (wixl writes the clock's, so it runs under faketime).
set -euo pipefail
[ $# -eq 5 ] || { echo "usage: $0 VERSION ENDPOINT INSTALLER.exe ACTIONS.dll OUT.msi" >&2; exit 2; }
version=$1 endpoint=$2 stub=$3 actions=$4 out=$(realpath -m "$5")
root=$(cd "$(dirname "$0")/.." && pwd)
template=${VLM_MSI_TEMPLATE:-$root/src/msi/Vellumora.wxs.in}
upgrade_code=916412ba-422b-4d3f-aeb4-336a1fc94c73
grep -q "UpgradeCode=\"$upgrade_code\"" "$template" ||
  { echo "build-msi.sh: the UpgradeCode here and in Vellumora.wxs.in differ" >&2; exit 1; }
case $version in
  *[!0-9.]* | "" | .* | *. | *..*) echo "build-msi.sh: '$version' is no version of numbers" >&2; exit 1 ;;
esac
case $endpoint in
  *[\&\<\>\"]*) echo "build-msi.sh: the endpoint '$endpoint' cannot go into XML as it is" >&2; exit 1 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Inputs under fixed names and times: the cabinet stores each file's time.
cp "$stub" "$work/VellumoraInstaller.exe"
cp "$actions" "$work/VellumoraMsiActions.dll"
uuid5() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$upgrade_code" "$1"; }
product_code=$(uuid5 "product $version")
sed -e "s|@PRODUCT_CODE@|$product_code|; s|@VERSION@|$version|g; s|@ENDPOINT@|$endpoint|" \
  -e "s|@STUB@|VellumoraInstaller.exe|; s|@ACTIONS@|VellumoraMsiActions.dll|" \
  "$template" >"$work/Vellumora.wxs"

clock=()
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  command -v faketime >/dev/null || { echo "build-msi.sh: SOURCE_DATE_EPOCH needs faketime (package faketime)" >&2; exit 1; }
  touch -d "@$SOURCE_DATE_EPOCH" "$work"/*.exe "$work"/*.dll
  clock=(env TZ=UTC faketime -f "@$(TZ=UTC date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')")
fi
summary() { # package-code
  "${clock[@]}" msibuild "$work/package.msi" -s "Vellumora (machine-wide installation)" TarvikSoft "Intel;1033" "{$1}"
}
# wixl takes the sources relative to the current folder.
(cd "$work" && "${clock[@]}" wixl -o package.msi Vellumora.wxs)
# wixl draws a random package code: a fixed one first, then the one of these bytes.
summary 00000000-0000-0000-0000-000000000000
summary "$(uuid5 "package $(sha256sum "$work/package.msi" | cut -d' ' -f1)")"
mv -f "$work/package.msi" "$out"
