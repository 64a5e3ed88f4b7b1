#!/bin/bash
# Builds the release programs (optimised, stripped, debug information in NAME.debug beside
# each) and the Windows Installer package build/release/Quorvel-<version>-x64.msi.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release -DQUORVEL_WERROR=ON >/dev/null
cmake --build --preset release -j "${QUORVEL_JOBS:-2}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
ls -l "build/release/Quorvel-$version-x64.msi"
