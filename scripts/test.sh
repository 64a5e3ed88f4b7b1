#!/bin/bash
# Builds everything and runs every test: the native translator (plain and under ASan/UBSan),
# the fuzz run, and the Windows build under Wine. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=${QUORVEL_JOBS:-2}
status=0
for preset in host host-san fuzz win64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" -DQUORVEL_WERROR=ON >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  ctest --preset "$preset" -j "$jobs" || status=1
done
[ $status = 0 ] && echo "=== all tests passed" || echo "=== some tests FAILED"
exit $status
