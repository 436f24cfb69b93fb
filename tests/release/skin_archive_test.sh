#!/usr/bin/env bash
# Packs both skins from two copies of the skin folder that differ the way two checkouts do
# (path, file times, file modes) and fails unless the archives are byte-identical.
#   skin_archive_test.sh SKIN-DIR PACK-SCRIPT
set -euo pipefail
skin=$1
pack=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mkdir -p "$tmp/one" "$tmp/elsewhere/two"
cp -r "$skin/." "$tmp/one/skin"
cp -r "$skin/." "$tmp/elsewhere/two/skin"
find "$tmp/elsewhere" -type f -exec touch -d '2001-02-03 04:05:06' {} + -exec chmod 600 {} +

# Packing is slow (LZMA over raw pixels): the two copies pack side by side.
pids=()
for copy in "$tmp/one" "$tmp/elsewhere/two"; do
  (cmake -DSKIN_DIR="$copy/skin" -DOUTPUT="$copy/skin.7z" -DSTAGE="$copy/stage" -P "$pack" &&
    cmake -DSKIN_DIR="$copy/skin" -DOUTPUT="$copy/skin-intl.7z" -DSTAGE="$copy/stage" -DINTL=ON -P "$pack") &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid"
done
status=0
for archive in skin.7z skin-intl.7z; do
  if cmp "$tmp/one/$archive" "$tmp/elsewhere/two/$archive"; then
    echo "$archive: the same $(stat -c %s "$tmp/one/$archive") bytes from both copies"
  else
    status=1
  fi
done
exit $status
