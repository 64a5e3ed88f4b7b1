#!/bin/bash
# Prints what a reviewer of the product code's ownership looks at: the calls that release
# a resource by hand outside the owning types, the file-scope mutable variables of the
# product libraries (read from the win64 build's archives with nm, so run after a build),
# and the pairs of repeated lines the `duplicates` tool finds in product code.
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
globals=""
for pair in base:base kobj:kobj config:config menu:menu shell:shell trace:relay; do
  lib=${pair%%:*}
  archive="$build/$lib/libquorvel_${pair#*:}.a"
  [ -f "$archive" ] || continue
  globals+=$(x86_64-w64-mingw32-nm -C "$archive" |
    grep -E ' [bBdD] ' | grep -vE ' \.(bss|data|ctors)| __pfnDli|guard variable' |
    sed "s/^[0-9a-f]* [bBdD] /$lib: /")$'\n'
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
(cd "$tmp" && duplicates --most 40)
