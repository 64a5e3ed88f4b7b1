#!/bin/bash
# Builds the Windows Installer package from quorvel.wxs beside this script.
#   make-msi.sh BIN_DIR VERSION OUT.msi
# BIN_DIR holds quorvel.exe and install-helper.dll; VERSION is four dotted numbers.
# The programs are copied to OUT.files/ beside the package and packed from there.
#
# Signing, when a certificate is given in the environment: quorvel.exe and the helper DLL
# before they are packed, then the package itself (Authenticode, SHA-256, with the product's
# name and address), with osslsigncode.
#   QUORVEL_SIGN_PFX and QUORVEL_SIGN_PASSWORD    a PKCS#12 file and its password, or
#   QUORVEL_SIGN_CERT and QUORVEL_SIGN_KEY        a certificate (chain) and its private key
#                                                 (QUORVEL_SIGN_PASSWORD if the key has one)
#   QUORVEL_SIGN_TIMESTAMP_URL                    optional RFC 3161 time-stamping server
# Without a certificate the package is built unsigned, and one line says so.
set -euo pipefail
bin=${1:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
version=${2:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
out=${3:?usage: make-msi.sh BIN_DIR VERSION OUT.msi}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

sign_name="Korvane Quorvel"
sign_url="https://www.korvane.example/quorvel"
signing=()
if [ -n "${QUORVEL_SIGN_PFX:-}" ]; then
  signing=(-pkcs12 "$QUORVEL_SIGN_PFX" -pass "${QUORVEL_SIGN_PASSWORD:?QUORVEL_SIGN_PFX needs QUORVEL_SIGN_PASSWORD}")
elif [ -n "${QUORVEL_SIGN_CERT:-}${QUORVEL_SIGN_KEY:-}" ]; then
  signing=(-certs "${QUORVEL_SIGN_CERT:?QUORVEL_SIGN_KEY needs QUORVEL_SIGN_CERT}"
    -key "${QUORVEL_SIGN_KEY:?QUORVEL_SIGN_CERT needs QUORVEL_SIGN_KEY}")
  [ -z "${QUORVEL_SIGN_PASSWORD:-}" ] || signing+=(-pass "$QUORVEL_SIGN_PASSWORD")
else
  echo "make-msi: no signing certificate given (QUORVEL_SIGN_PFX or QUORVEL_SIGN_CERT): $(basename "$out") and its programs are unsigned"
fi
[ -z "${QUORVEL_SIGN_TIMESTAMP_URL:-}" ] || signing+=(-ts "$QUORVEL_SIGN_TIMESTAMP_URL")

# sign FILE: signs FILE in place when a certificate was given.
sign() {
  [ ${#signing[@]} -gt 0 ] || return 0
  osslsigncode sign "${signing[@]}" -h sha256 -n "$sign_name" -i "$sign_url" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}

stage=${out%.msi}.files
rm -rf "$stage" && mkdir -p "$stage"
cp "$bin/quorvel.exe" "$bin/install-helper.dll" "$stage/"
sign "$stage/quorvel.exe"
sign "$stage/install-helper.dll"

# wixl finds the files named in the package source relative to where it runs.
# -a x64 makes a 64-bit package (Program Files, 64-bit registry view).
# wixl takes no absolute file names, so the icon is named from there too.
icon=$(realpath --relative-to="$stage" "$here/../res/icons/quorvel.ico")
next_build=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
(cd "$stage" && wixl -a x64 -D Version="$version" -D NextBuild="$next_build" -D IconFile="$icon" -o "$out.tmp" \
  "$here/quorvel.wxs")
sign "$out.tmp"
mv "$out.tmp" "$out"
if [ ${#signing[@]} -gt 0 ]; then echo "make-msi: signed $(basename "$out"), quorvel.exe and install-helper.dll"; fi
