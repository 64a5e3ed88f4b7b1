#!/bin/bash
# Prints what a reviewer of the product code's ownership looks at: the calls that release
# a resource by hand outside the owning types, the file-scope mutable variables of the
# product libraries (read from the win64 build's archives with nm, so run after a build),
# and the pairs of repeated lines the `duplicates` tool finds in product code. It fails
# (exit 1) when it cannot measure one of them, rather than print a count of 0.
#   scripts/ownership-counts.sh [build-dir]     (default build/win64)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win64}
product_dirs="base kobj config menu shell trace"

is_product() { grep -vE '(_test\.cpp|/testing/|/reference/|/xlate/)'; }

echo "== manual CloseHandle/NkoClose/DestroyMenu/UnmapViewOfFile calls outside base/unique.h"
calls=$(grep -rnE '\b(CloseHandle|NkoClose|DestroyMenu|UnmapViewOfFile)\s*\(' $product_dirs \
          --include='*.cpp' --include='*.h' | is_product |
        grep -vE '^[^:]+:[0-9]+:\s*//' | grep -vE '^base/unique\.h:|^kobj/nko_handle\.(h|cpp):' || true)
[ -n "$calls" ] && echo "$calls"
echo "count: $(printf '%s' "$calls" | grep -c . || true)"

echo "== file-scope and function-static mutable variables in the product libraries"
# A count needs every archive: a missing one would read as no globals.
command -v x86_64-w64-mingw32-nm >/dev/null || { echo "cannot measure: x86_64-w64-mingw32-nm is missing" >&2; exit 1; }
globals=""
for pair in base:base kobj:kobj config:config menu:menu shell:shell trace:relay; do
  lib=${pair%%:*}
  archive="$build/$lib/libquorvel_${pair#*:}.a"
  if [ ! -f "$archive" ]; then
    echo "cannot measure: $archive is missing (build the product libraries of $build first)" >&2
    exit 1
  fi
  symbols=$(x86_64-w64-mingw32-nm -C "$archive")
  globals+=$(printf '%s\n' "$symbols" |
    grep -E ' [bBdD] ' | grep -vE ' \.(bss|data|ctors)| __pfnDli|guard variable' |
    sed "s/^[0-9a-f]* [bBdD] /$lib: /" || true)$'\n'
done
printf '%s' "$globals"
echo "count: $(printf '%s' "$globals" | grep -c . || true)"

echo "== repeated lines in product code"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for dir in $product_dirs; do
  [ -d "$dir" ] || continue
  find "$dir" -name '*.cpp' -o -name '*.h' | is_product | while read -r f; do
    mkdir -p "$tmp/$(dirname "$f")"; cp "$f" "$tmp/$f"
  done
done
command -v duplicates >/dev/null || { echo "cannot measure: the duplicates command is missing" >&2; exit 1; }
out=$(cd "$tmp" && duplicates --most 40)
printf '%s\n' "$out"
# duplicates always exits 0; a line "incomplete: ..." says that it could not read everything.
if grep -q '^incomplete:' <<<"$out"; then
  echo "cannot measure: the repeated lines were not all read" >&2
  exit 1
fi
