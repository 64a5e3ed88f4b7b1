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
here=$(cd "$(dirname "$0")" && pwd)
source_root=$(cd "$here/../.." && pwd)

work=$root/package-$case_name
rm -rf "$work"
mkdir -p "$work"
export PATH=/usr/lib/wine:$PATH WINEARCH=win64 WINEPREFIX=$root/prefixes/package-$case_name
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all DISPLAY=$(cat "$root/display")
"$source_root/tests/bed/wine-bed.sh" clone "$root" "$WINEPREFIX" || exit 1
finish() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}
trap finish EXIT

failures=0
pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
# check DESCRIPTION COMMAND...: passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
not() { ! "$@"; }

drive_c=$WINEPREFIX/drive_c
win_path() { echo "$drive_c/$(echo "${1#C:\\}" | tr '\\' /)"; }
probe() { wine64 "$bin/nko-probe.exe" "$@" >/dev/null 2>&1; }
window_found() { wine64 "$bin/win-probe.exe" find BW_Halvoric_Class BW_Halvoric_Wnd "$@" >/dev/null 2>&1; }

# reg_value KEY NAME: prints the value's data (64-bit view); fails when it is missing.
reg_value() {
  wine64 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" 'tolower($1) == tolower(name) { sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, ""); print; found = 1 } END { exit !found }'
}

# registered TREE NAME_VALUE VALUE: prints VALUE of every key under TREE whose NAME_VALUE is
# "Korvane Quorvel", one line each.
registered() {
  wine64 reg query "$1" /s 2>/dev/null | tr -d '\r' |
    awk -v name="$2" -v want="$3" '
      function flush() { if (ours && have) print value; ours = 0; have = 0 }
      /^HKEY_/ { flush(); next }
      $1 == name && $0 ~ /REG_SZ +Korvane Quorvel$/ { ours = 1 }
      $1 == want { v = $0; sub(/^ *[^ ]+ +REG_[A-Z_]+ +/, "", v); value = v; have = 1 }
      END { flush() }'
}
# The installed-programs entry, and the product registration that carries its icon.
arp() { registered 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' DisplayName "$1"; }
product_icon() { registered 'HKLM\Software\Classes\Installer\Products' ProductName ProductIcon; }

make_package() {  # VERSION OUT
  "$source_root/package/make-msi.sh" "$bin" "$1" "$2" 2>"$work/wixl.log" || { cat "$work/wixl.log"; exit 1; }
}

# msi NAME ARGS...: runs msiexec silently (or with the user interface level msi_ui) with a
# verbose log (work/NAME.log) and a deadline, prints how long it took and leaves its exit
# code in msi_rc (the low 8 bits that Unix sees).
msi() {
  local name=$1 start end
  shift
  start=$(date +%s.%N)
  timeout 150 wine64 msiexec "$@" "${msi_ui:-/qn}" /l*v "$(winepath -w "$work/$name.log" 2>/dev/null)" 2>/dev/null
  msi_rc=$?
  end=$(date +%s.%N)
  printf 'msiexec %s: exit code %d after %.1f s\n' "$name" "$msi_rc" "$(echo "$end - $start" | bc)"
}
log_has() { tr -d '\r' <"$work/$1.log" | grep -qF -- "$2"; }

start_service() {
  wine64 "$bin/ombrix-service.exe" --stop-event 'Local\PackageTestStop' --ready-event 'Local\PackageTestReady' \
    >"$work/service.log" 2>&1 &
  probe create event 'Local\PackageTestReady' --wait 30000 || { echo "the service stand-in did not start"; exit 1; }
}

run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
suite_key='HKLM\SOFTWARE\Korvane\Ombrix\CurrentVersion'
default_dir='C:\Program Files\Korvane Quorvel'
msi_file=$work/Quorvel-$version-x64.msi

# The installed state of the package with version V in folder DIR.
check_installed() {  # DIR V
  check "quorvel.exe is in $1" test -f "$(win_path "$1\\quorvel.exe")"
  check "the Run value starts \"$1\\quorvel.exe\" at log-on" \
    test "$(reg_value "$run_key" Quorvel)" = "\"$1\\quorvel.exe\""
  check "one installed-programs entry, version $2" test "$(arp DisplayVersion)" = "$2"
  check "the entry names the publisher" test "$(arp Publisher)" = "Korvane Technologies"
  local icon
  icon=$(product_icon)
  check "the entry's icon is the program's icon 101 ($icon)" \
    cmp -s "$(win_path "$icon")" "$source_root/res/icons/quorvel.ico"
}

check_removed() {  # DIR
  check "quorvel.exe is gone from $1" not test -e "$(win_path "$1\\quorvel.exe")"
  check "the Run value is gone" not reg_value "$run_key" Quorvel
  check "no installed-programs entry is left" test -z "$(arp DisplayName)$(product_icon)"
}

case_suite() {
  local base='C:\Suite Root\Ombrix'
  mkdir -p "$(win_path "$base\\bin")"
  echo "a file of the suite" >"$(win_path "$base\\bin\\suite-file.txt")"
  wine64 reg add "$suite_key" /v BaseDir /t REG_SZ /d "$base" /f >/dev/null
  wine64 reg add "$suite_key" /v QuorvelHidden /t REG_SZ /d 0 /f >/dev/null
  wine64 reg add "$suite_key" /v Gpib32Status /t REG_SZ /d 1 /f >/dev/null
  mkdir -p "$drive_c/ProgramData/Korvane/Korvane Ombrix"
  make_package "$version" "$msi_file"
  start_service

  msi install /i "$(winepath -w "$msi_file")"
  check "the installation succeeds" test "$msi_rc" = 0
  check_installed "$base\\bin" "$version"
  check "nothing was installed under Program Files" not test -e "$(win_path "$default_dir")"
  check "the installer started Quorvel with -q" log_has install "install-helper: started $base\\bin\\quorvel.exe -q"
  check "Quorvel's window appears" window_found --wait 30000
  check "Quorvel signals that it runs" probe open event 'Global\__Korvane_QuorvelRunning' --wait 10000

  local report="$drive_c/ProgramData/Korvane/Korvane Ombrix/Korvane Ombrix Information.txt"
  rm -f "$report"
  wine64 "$(win_path "$base\\bin\\quorvel.exe")" -q 2>/dev/null
  check "a second instance with -q exits with 1" test $? = 1
  check "the running Quorvel answered: the report is written again" test -s "$report"

  msi uninstall /x "$(winepath -w "$msi_file")"
  check "the removal succeeds" test "$msi_rc" = 0
  check "the removal closed Quorvel, which exited with 0" log_has uninstall ", exit code 0)"
  check "Quorvel's window is gone" not window_found
  check_removed "$base\\bin"
  check "the suite's own file stays" test -f "$(win_path "$base\\bin\\suite-file.txt")"
  check "the suite's configuration values stay" \
    test "$(reg_value "$suite_key" BaseDir)|$(reg_value "$suite_key" QuorvelHidden)|$(reg_value "$suite_key" Gpib32Status)" \
    = "$base|0|1"
}

case_default() {
  local old_version custom='C:\Custom Place\Quorvel'
  old_version=$(echo "$version" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3 - 1, $4 }')
  local old_msi=$work/Quorvel-$old_version-x64.msi
  make_package "$old_version" "$old_msi"
  make_package "$version" "$msi_file"

  # No suite service: the installation must neither fail nor wait for Quorvel.
  msi install-old /i "$(winepath -w "$old_msi")"
  check "without the suite service the installation succeeds" test "$msi_rc" = 0
  check_installed "$default_dir" "$old_version"
  check "the installer did not start Quorvel without the service" \
    log_has install-old "install-helper: Quorvel not started: the suite service does not run"
  check "no Quorvel window" not window_found

  start_service
  wine64 "$(win_path "$default_dir\\quorvel.exe")" 2>/dev/null &
  local old_pid=$!
  check "the older Quorvel runs" window_found --wait 30000

  msi upgrade /i "$(winepath -w "$msi_file")"
  check "the upgrade succeeds" test "$msi_rc" = 0
  local deadline=$((SECONDS + 30))
  while kill -0 "$old_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  if kill -0 "$old_pid" 2>/dev/null; then
    fail "the older Quorvel was closed by the upgrade"
  else
    wait "$old_pid"
    check "the older Quorvel was closed and exited with 0" test $? = 0
  fi
  check_installed "$default_dir" "$version"
  check "the newer Quorvel runs" window_found --wait 30000

  # With a user interface the refusal is a message box (Wine titles it "Install Failed").
  (msi_ui=/qb msi downgrade /i "$(winepath -w "$old_msi")"; exit "$msi_rc") &
  local downgrade=$! box
  box=$(wine64 "$bin/win-probe.exe" box "Install Failed" --wait 30000 2>/dev/null | tr -d '\r')
  check "the refusal says why" grep -qF "A newer version of Korvane Quorvel is already installed" <<<"$box"
  wine64 "$bin/win-probe.exe" box "Install Failed" --press 1 >/dev/null 2>&1
  wait "$downgrade"
  # Unix sees the low 8 bits of the installer's exit code 1603 (fatal error).
  check "the older package refuses to install (exit code 1603)" test $? = $((1603 % 256))
  check_installed "$default_dir" "$version"
  check "the refused downgrade left Quorvel running" window_found

  msi uninstall /x "$(winepath -w "$msi_file")"
  check "the removal succeeds" test "$msi_rc" = 0
  check_removed "$default_dir"
  check "the default folder is removed" not test -e "$(win_path "$default_dir")"

  msi install-custom /i "$(winepath -w "$msi_file")" "INSTALLDIR=$custom"
  check "INSTALLDIR=... installs there" test "$msi_rc" = 0
  check_installed "$custom" "$version"
}

"case_$case_name"
echo "$failures check(s) failed"
[ "$failures" = 0 ]
