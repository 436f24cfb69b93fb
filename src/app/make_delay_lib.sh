#!/usr/bin/env bash
# make_delay_lib.sh NM DLLTOOL IMPORT_LIB DLL OUT [strip-underscore]
# Builds a delay-import library for DLL with every function of the system's import library
# IMPORT_LIB: a program linked against OUT loads DLL at its first call, not at start-up.
# Also writes OUT's name with .def: the functions, which delay_keep.py reads at each link.
set -euo pipefail
nm=$1 dlltool=$2 implib=$3 dll=$4 out=$5 underscore=${6:-yes}
def=${out%.a}.def
prefix="__imp_"
[ "$underscore" = yes ] && prefix="__imp__"
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  # Interface ids some import libraries list (oleacc's) are data, which cannot be delay-loaded
  # and which libuuid defines as well.
  "$nm" -g "$implib" 2>/dev/null | awk -v p="$prefix" '$2 == "I" && index($3, p) == 1 { print substr($3, length(p) + 1) }' |
    grep -Ev '^(IID|LIBID|CLSID|GUID)_' | sort -u
} >"$def"
if [ "$(grep -c . "$def")" -le 2 ]; then
  echo "make_delay_lib: no functions found in $implib" >&2
  exit 1
fi
rm -f "$out"
# dlltool names the library's symbols after the output path it is given: a bare file name
# keeps the build folder's path out of the program.
(cd "$(dirname "$out")" && "$dlltool" --kill-at --input-def "$def" --dllname "$dll" --output-delaylib "$(basename "$out")")
