#!/bin/bash
# Builds the Windows Installer package from quorvel.wxs beside this script.
#   make-msi.sh BIN_DIR VERSION OUT.msi
# BIN_DIR holds quorvel.exe and install-helper.dll; VERSION is four dotted numbers.
set -euo pipefail
bin=${1:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
version=${2:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
out=${3:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
# wixl finds the files named in the package source relative to where it runs.
# -a x64 makes a 64-bit package (Program Files, 64-bit registry view).
# wixl takes no absolute file names, so the icon is named from there too.
icon=$(realpath --relative-to="$bin" "$here/../res/icons/quorvel.ico")
next_build=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
(cd "$bin" && wixl -a x64 -D Version="$version" -D NextBuild="$next_build" -D IconFile="$icon" -o "$out.tmp" \
  "$here/quorvel.wxs")
mv "$out.tmp" "$out"
