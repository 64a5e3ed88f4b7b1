#!/bin/bash
# Builds the release programs (optimised, stripped, debug information in NAME.debug beside
# each) and the Windows Installer package build/release/Quorvel-<version>-x64.msi, signed
# when a certificate is given (QUORVEL_SIGN_PFX and QUORVEL_SIGN_PASSWORD, or
# QUORVEL_SIGN_CERT and QUORVEL_SIGN_KEY; optional QUORVEL_SIGN_TIMESTAMP_URL; see
# package/make-msi.sh), unsigned otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release -DQUORVEL_WERROR=ON >/dev/null
# The package is made again on every run, so that it is signed (or not) as this run asks.
rm -f build/release/Quorvel-*-x64.msi
cmake --build --preset release -j "${QUORVEL_JOBS:-2}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
ls -l "build/release/Quorvel-$version-x64.msi"
