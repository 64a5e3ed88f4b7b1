#!/bin/bash
# Installs, upgrades and removes the Windows Installer package under Wine in a fresh prefix.
#   package_test.sh CASE WINE_ROOT BIN_DIR VERSION
# CASE is "suite" or "default" (see CMakeLists.txt). Prints one line per check and exits
# non-zero when any check failed.
set -uo pipefail
case_name=${1:?usage: package_test.sh suite|default WINE_ROOT BIN_DIR VERSION}
root=$(cd "${2:?}" && pwd)
bin=$(cd "${3:?}" && pwd)
version=${4:?}
source_root=$(cd "$(dirname "$0")/../.." && pwd)

work=$root/package-$case_name
rm -rf "$work" && mkdir -p "$work"
. "$source_root/tests/bed/wine-env.sh"
. "$source_root/tests/bed/xvfb.sh"
prefix=$root/prefixes/package-$case_name
"$source_root/tests/bed/wine-bed.sh" clone "$root" "$prefix" || exit 1
display=$(run_display "$prefix") || exit 1
bed_env "$prefix" "$display"
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; run_display_stop "$prefix"' EXIT

failures=0
# check DESCRIPTION COMMAND...: passes when the command succeeds; returns its verdict.
check() {
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); return 1; fi
}
not() { ! "$@"; }
gone() { ! kill -0 "$1" 2>/dev/null; }

drive_c=$WINEPREFIX/drive_c
win_path() { echo "$drive_c/$(echo "${1#C:\\}" | tr '\\' /)"; }
# The Windows name of a Unix file (drive Z: is the Unix root), without another Wine process.
z_path() { echo "Z:${1//\//\\}"; }
probe() { wine64 "$bin/nko-probe.exe" "$@" >/dev/null 2>&1; }
# window find|gone [--wait MS]: whether Quorvel's main window is there (or gone).
window() { wine64 "$bin/win-probe.exe" "$1" BW_Halvoric_Class BW_Halvoric_Wnd "${@:2}" >/dev/null 2>&1; }

# reg_value KEY NAME: prints the value's data (64-bit view); fails when it is missing.
reg_value() {
  wine64 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" 'tolower($1) == tolower(name) { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print; found = 1 } END { exit !found }'
}

# registered TREE NAME_VALUE VALUE: prints VALUE of every key under TREE whose NAME_VALUE is
# "Korvane Quorvel", one line each.
registered() {
  wine64 reg query "$1" /s 2>/dev/null | tr -d '\r' |
    awk -v name="$2" -v want="$3" 'function flush() { if (ours && have) print value; ours = have = 0 }
      /^HKEY_/ { flush() } $1 == name && /REG_SZ +Korvane Quorvel$/ { ours = 1 }
      $1 == want { value = $0; sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, "", value); have = 1 } END { flush() }'
}
# The installed-programs entry, and the product registration that carries its icon.
arp() { registered 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' DisplayName "$1"; }
product_icon() { registered 'HKLM\Software\Classes\Installer\Products' ProductName ProductIcon; }

make_package() {  # VERSION OUT
  "$source_root/package/make-msi.sh" "$bin" "$1" "$2" >"$work/make-msi.out" 2>"$work/wixl.log" ||
    { cat "$work/make-msi.out" "$work/wixl.log"; exit 1; }
}

# A throw-away code-signing certificate of this run, given to make-msi.sh as a PKCS#12
# file with its password.
sign_with_test_certificate() {
  local dir=$work/signing
  mkdir -p "$dir"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
    -subj "/CN=Quorvel package test" -addext extendedKeyUsage=codeSigning 2>/dev/null &&
    openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -out "$dir/test.pfx" -passout pass:test-only ||
    { echo "could not make the test certificate"; exit 1; }
  export QUORVEL_SIGN_PFX=$dir/test.pfx QUORVEL_SIGN_PASSWORD=test-only
}
verify() {
  local trust=()
  [ ! -f "$work/signing/cert.pem" ] || trust=(-CAfile "$work/signing/cert.pem")
  osslsigncode verify "${trust[@]}" -in "$1" >"$work/verify.out" 2>&1
}
unsigned() { ! verify "$1" && grep -q 'has no signature' "$work/verify.out"; }
signed_as_product() { verify "$1" && grep -q 'Text description: Korvane Quorvel' "$work/verify.out" &&
  grep -q 'Message digest algorithm *: SHA256' "$work/verify.out"; }
# tampered FILE: a copy of FILE with one byte of its second half changed.
tampered() {
  local copy=$work/tampered-$(basename "$1") size
  cp "$1" "$copy"
  size=$(stat -c %s "$copy")
  printf '\x5a' | dd of="$copy" bs=1 seek=$((size / 2 + 17)) conv=notrunc 2>/dev/null
  cmp -s "$1" "$copy" || { echo "$copy"; return; }
  printf '\xa5' | dd of="$copy" bs=1 seek=$((size / 2 + 17)) conv=notrunc 2>/dev/null
  echo "$copy"
}

# The package, quorvel.exe and the helper DLL as taken out of it carry valid signatures of
# the product; a changed byte breaks each.
check_signed() {  # MSI
  local out=$work/extracted
  rm -rf "$out" && mkdir -p "$out"
  (cd "$out" && msiextract "$1" >/dev/null) && msiinfo extract "$1" Binary.InstallHelper >"$out/install-helper.dll"
  local exe
  exe=$(find "$out" -name quorvel.exe | head -n 1)
  check "the package says it was signed" grep -qxF "make-msi: signed $(basename "$1"), quorvel.exe and install-helper.dll" \
    "$work/make-msi.out"
  local file
  for file in "$1" "$exe" "$out/install-helper.dll"; do
    check "$(basename "$file") carries a valid SHA-256 signature of Korvane Quorvel" signed_as_product "$file"
    check "a changed byte breaks the signature of $(basename "$file")" not verify "$(tampered "$file")"
  done
}

# The installer's own actions as the package schedules them: the close is deferred and
# runs without impersonation, with the installed file's path as its data, inside the
# installation script before any file changes; the replaced version's removal (which
# closes with its own package's close) is the script's first step, as an in-script removal
# must be; the start is immediate and comes after the installation is final, except on
# removal.
action_type() { msiinfo export "$1" CustomAction | tr -d '\r' | awk -F'\t' -v a="$2" '$1 == a { print $2 }'; }
action_target() { msiinfo export "$1" CustomAction | tr -d '\r' | awk -F'\t' -v a="$2" '$1 == a { print $3 "|" $4 }'; }
sequence() { msiinfo export "$1" InstallExecuteSequence | tr -d '\r' | awk -F'\t' -v a="$2" '$1 == a { print $3 }'; }
condition() { msiinfo export "$1" InstallExecuteSequence | tr -d '\r' | awk -F'\t' -v a="$2" '$1 == a { print $2 }'; }
before() { test "$1" -lt "$2"; }
check_action_table() {  # MSI
  local close start set_data
  close=$(action_type "$1" CloseQuorvel) start=$(action_type "$1" StartQuorvel)
  set_data=$(action_type "$1" SetCloseQuorvelData)
  # 1: a DLL from the Binary table; 1024: deferred; 2048: no impersonation; 51: sets a property.
  check "CloseQuorvel is a deferred DLL action without impersonation" test $((${close:-0} & 3073)) = 3073
  check "its data is the installed quorvel.exe" test "$((${set_data:-0} & 63))|$(action_target "$1" SetCloseQuorvelData)" = \
    "51|CloseQuorvel|[#QuorvelExe]"
  check "the data is set before the script starts" before "$(sequence "$1" SetCloseQuorvelData)" \
    "$(sequence "$1" InstallInitialize)"
  check "CloseQuorvel runs in the installation script" before "$(sequence "$1" InstallInitialize)" \
    "$(sequence "$1" CloseQuorvel)"
  check "the replaced version is removed first in the script" \
    test "$(sequence "$1" RemoveExistingProducts)" = $(($(sequence "$1" InstallInitialize) + 1))
  local next
  for next in RemoveFiles InstallFiles; do
    check "... before $next" before "$(sequence "$1" CloseQuorvel)" "$(sequence "$1" "$next")"
  done
  check "StartQuorvel is an immediate DLL action" test $((${start:-1024} & (1 | 1024))) = 1
  check "... after the installation is final" before "$(sequence "$1" InstallFinalize)" "$(sequence "$1" StartQuorvel)"
  check "... except on removal" test "$(condition "$1" StartQuorvel)" = 'NOT REMOVE~="ALL"'
}

# The event-log sources and what Event Viewer would show for an entry of each.
sources_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application'
event_text() { wine64 "$bin/event-message.exe" "$1" "$2" 2>/dev/null | tr -d '\r'; }
check_event_sources() {  # DIR
  local source
  for source in "Quorvel" "Korvane NKO client"; do
    check "the event source \"$source\" takes its texts from $1\\quorvel.exe" \
      test "$(reg_value "$sources_key\\$source" EventMessageFile)|$(reg_value "$sources_key\\$source" TypesSupported)" = \
      "$1\\quorvel.exe|0x7"
    check "an entry of \"$source\" shows its own text" \
      test "$(event_text "$source" "Quorvel is starting")" = "0x40000002: Quorvel is starting"
  done
}
no_key() { ! wine64 reg query "$1" >/dev/null 2>&1; }
check_no_event_sources() {
  check "the event sources are gone" no_key "$sources_key\\Quorvel"
  check "... both" no_key "$sources_key\\Korvane NKO client"
}

# msi NAME WANT ARGS...: runs msiexec silently (or with the user interface level msi_ui)
# with a verbose log work/NAME.log and a deadline, prints how long it took, and checks that
# it exits with WANT (of which Unix sees the low 8 bits).
msi() {
  local name=$1 want=$2 t0=$EPOCHREALTIME
  shift 2
  timeout 150 wine64 msiexec "$@" "${msi_ui:-/qn}" /l*v "$(z_path "$work/$name.log")" 2>/dev/null
  local rc=$?
  printf 'msiexec %s took %.1f s\n' "$name" "$(bc <<<"$EPOCHREALTIME - $t0")"
  check "msiexec $name exits with $want" test "$rc" = $((want % 256))
}
# (grep reads to the end: one that stops early breaks the pipe, which pipefail reports.)
log_has() { tr -d '\r' <"$work/$1.log" | grep -F -- "$2" >/dev/null; }
log_has_line() { tr -d '\r' <"$work/$1.log" | grep -E -- "$2" >/dev/null; }

start_service() {
  wine64 "$bin/ombrix-service.exe" --stop-event 'Local\PackageTestStop' --ready-event 'Local\PackageTestReady' \
    >"$work/service.log" 2>&1 &
  probe create event 'Local\PackageTestReady' --wait 30000 || { echo "the service stand-in did not start"; exit 1; }
}

run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
# The suite key under names of its own (as "MfgName" and "KeyName" may give them).
names_key='HKLM\SOFTWARE\Korvane\Ombrix' suite_key='HKLM\SOFTWARE\Korvane\Ombrix Lab\CurrentVersion'
default_dir='C:\Program Files\Korvane Quorvel'
msi_file=$work/Quorvel-$version-x64.msi

# The installed state of the package with version V in folder DIR.
check_installed() {  # DIR V
  check "quorvel.exe is in $1" test -f "$(win_path "$1\\quorvel.exe")"
  check "the Run value starts \"$1\\quorvel.exe\" at log-on" \
    test "$(reg_value "$run_key" Quorvel)" = "\"$1\\quorvel.exe\""
  check "one installed-programs entry: version $2 by Korvane Technologies" \
    test "$(arp DisplayVersion)|$(arp Publisher)" = "$2|Korvane Technologies"
  check "the entry's icon is the program's icon 101" \
    cmp -s "$(win_path "$(product_icon)")" "$source_root/res/icons/quorvel.ico"
}

case_suite() {
  local base='C:\Suite Root\Ombrix' value
  mkdir -p "$(win_path "$base\\bin")"
  echo "a file of the suite" >"$(win_path "$base\\bin\\suite-file.txt")"
  mkdir -p "$(win_path 'C:\Decoy')"
  for value in "$names_key|MfgName|Korvane" "$names_key|KeyName|Ombrix Lab" "$names_key\CurrentVersion|BaseDir|C:\Decoy" \
    "$suite_key|BaseDir|$base" "$suite_key|QuorvelHidden|0" "$suite_key|Gpib32Status|1"; do
    IFS='|' read -r -a value <<<"$value"
    wine64 reg add "${value[0]}" /v "${value[1]}" /t REG_SZ /d "${value[2]}" /f >/dev/null
  done
  mkdir -p "$drive_c/ProgramData/Korvane/Korvane Ombrix"
  sign_with_test_certificate
  make_package "$version" "$msi_file"
  check_signed "$msi_file"
  check_action_table "$msi_file"
  start_service

  msi install 0 /i "$(z_path "$msi_file")"
  check_installed "$base\\bin" "$version"
  check_event_sources "$base\\bin"
  check "nothing was installed under Program Files or the default key's folder" \
    not test -e "$(win_path "$default_dir")" -o -e "$(win_path 'C:\Decoy\bin')"
  check "the installer started Quorvel with -q" log_has install "install-helper: started $base\\bin\\quorvel.exe -q"
  check "Quorvel's window appears" window find --wait 30000
  check "Quorvel signals that it runs" probe open event 'Global\__Korvane_QuorvelRunning' --wait 10000

  local report="$drive_c/ProgramData/Korvane/Korvane Ombrix/Korvane Ombrix Information.txt"
  rm -f "$report"
  wine64 "$(win_path "$base\\bin\\quorvel.exe")" -q 2>/dev/null
  check "a second instance with -q exits with 1" test $? = 1
  check "the running Quorvel answered: the report is written again" test -s "$report"

  msi uninstall 0 /x "$(z_path "$msi_file")"
  check "the removal closed Quorvel within the bound, which exited with 0" \
    log_has_line uninstall "install-helper: closed Quorvel \(process [0-9]+, session [0-9]+, exit code 0\)"
  check "Quorvel's window is gone" window gone
  check "quorvel.exe is gone" not test -e "$(win_path "$base\\bin\\quorvel.exe")"
  check "the Run value is gone" not reg_value "$run_key" Quorvel
  check "no installed-programs entry is left" test -z "$(arp DisplayName)$(product_icon)"
  check_no_event_sources
  check "the suite's own file stays" test -f "$(win_path "$base\\bin\\suite-file.txt")"
  check "the suite's configuration values stay" \
    test "$(reg_value "$suite_key" BaseDir)|$(reg_value "$suite_key" QuorvelHidden)|$(reg_value "$suite_key" Gpib32Status)" \
    = "$base|0|1"
}

case_default() {
  local custom='C:\Custom Place\Quorvel' old_version
  old_version=$(awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 - 1, $4 }' <<<"$version")
  local old_msi=$work/Quorvel-$old_version-x64.msi
  make_package "$old_version" "$old_msi"
  make_package "$version" "$msi_file"
  check "without a certificate the package is built unsigned, and one line says so" \
    grep -qx "make-msi: no signing certificate given .*: $(basename "$msi_file") and its programs are unsigned" \
    "$work/make-msi.out"
  check "... and it carries no signature" unsigned "$msi_file"

  # No suite service: the installation must neither fail nor wait for Quorvel.
  msi install-old 0 /i "$(z_path "$old_msi")"
  check_installed "$default_dir" "$old_version"
  check "the installer did not start Quorvel without the service, and says when it starts" log_has install-old \
    "install-helper: Quorvel not started: the suite service does not run; it starts at the next log-on from the Run value"
  check "no Quorvel window" not window find

  start_service
  wine64 "$(win_path "$default_dir\\quorvel.exe")" 2>/dev/null &
  local old_pid=$!
  check "the older Quorvel runs" window find --wait 30000

  msi upgrade 0 /i "$(z_path "$msi_file")"
  # The upgrade waited (at most 40 s) for the Windows process; its Unix side ends a moment
  # later. One still there after that moment was not closed within the bound: it is
  # stopped, and fails the check. (Wine runs the replaced version's removal as an
  # installation of its own, with a log of its own, so its "closed Quorvel" line is not in
  # this log; nothing but the close request asks Quorvel to close here.)
  wait_until 15 "the older Quorvel to exit" gone "$old_pid" || kill "$old_pid" 2>/dev/null
  wait "$old_pid"
  check "the upgrade closed the older Quorvel within the bound, which exited with 0" test $? = 0
  check_installed "$default_dir" "$version"
  check "the newer Quorvel runs" window find --wait 30000

  # With a user interface the refusal is a message box (Wine titles it "Install Failed").
  # 1603 is the installer's "fatal error".
  msi_ui=/qb msi downgrade 1603 /i "$(z_path "$old_msi")" &
  local downgrade=$! box
  box=$(wine64 "$bin/win-probe.exe" box "Install Failed" --wait 30000 2>/dev/null | tr -d '\r')
  check "the refusal says why" grep -qF "A newer version of Korvane Quorvel is already installed" <<<"$box"
  wine64 "$bin/win-probe.exe" box "Install Failed" --press 1 >/dev/null 2>&1
  wait "$downgrade" || failures=$((failures + 1))  # msi printed the failed check
  check_installed "$default_dir" "$version"
  check "the refused downgrade left Quorvel running" window find

  # A rebuild of the same version replaces the installed one, here in another folder.
  make_package "$version" "$work/rebuilt.msi"
  msi install-custom 0 /i "$(z_path "$work/rebuilt.msi")" "INSTALLDIR=$custom"
  check_installed "$custom" "$version"
  check "the replaced one's folder is removed" not test -e "$(win_path "$default_dir")"
  # "-x" before the started Quorvel has its window would itself become the first instance.
  check "the installer started the rebuilt Quorvel" window find --wait 30000
  wine64 "$(win_path "$custom\\quorvel.exe")" -x 2>/dev/null
  check "-x closed Quorvel" window gone --wait 30000
  wine64 wineboot  # Wine's log-on: it starts the programs of the Run key
  check "a log-on starts Quorvel from the Run value" window find --wait 30000
}

"case_$case_name"
echo "$failures check(s) failed"
[ "$failures" = 0 ]
