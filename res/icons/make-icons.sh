#!/bin/bash
# Makes the notification-area icons from their drawings:
#   quorvel.ico          (resource 101)
#   quorvel-tracing.ico  (resource 103)
# each with 16, 20, 24, 32, 40 and 48 pixels (the small-icon sizes from 100 % to 200 %
# display scale, and the large ones at 100 % and 150 %) and 256, each size in 32-bit and
# 8-bit colour. The 16-pixel images come from drawings on the
# 16-pixel grid, the others from the large drawings. The .ico files are checked in, so the
# build does not need this script; run it after changing a drawing.
# Needs rsvg-convert (Debian: librsvg2-bin) and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command -v rsvg-convert >/dev/null || { echo "make-icons: install librsvg2-bin" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

render() {  # drawing size -> png path
  local out=$work/$1-$2.png
  rsvg-convert -w "$2" -h "$2" "$here/$1.svg" -o "$out"
  echo "$out"
}

pack() {  # output name, small drawing, large drawing, sizes...
  local out=$1 small=$2 large=$3 images=()
  shift 3
  for size in "$@"; do
    if [ "$size" -le 16 ]; then images+=("$(render "$small" "$size")"); else images+=("$(render "$large" "$size")"); fi
  done
  python3 "$here/pack_ico.py" "$here/$out" "${images[@]}"
  echo "make-icons: $out ($*)"
}

sizes=(16 20 24 32 40 48 256)
pack quorvel.ico io-small io-large "${sizes[@]}"
pack quorvel-tracing.ico io-tracing-small io-tracing-large "${sizes[@]}"
