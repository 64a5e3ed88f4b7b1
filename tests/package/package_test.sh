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
  "$source_root/package/make-msi.sh" "$bin" "$1" "$2" 2>"$work/wixl.log" || { cat "$work/wixl.log"; exit 1; }
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
  make_package "$version" "$msi_file"
  start_service

  msi install 0 /i "$(z_path "$msi_file")"
  check_installed "$base\\bin" "$version"
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
  check "the removal closed Quorvel, which exited with 0" log_has uninstall ", exit code 0)"
  check "Quorvel's window is gone" window gone
  check "quorvel.exe is gone" not test -e "$(win_path "$base\\bin\\quorvel.exe")"
  check "the Run value is gone" not reg_value "$run_key" Quorvel
  check "no installed-programs entry is left" test -z "$(arp DisplayName)$(product_icon)"
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

  # No suite service: the installation must neither fail nor wait for Quorvel.
  msi install-old 0 /i "$(z_path "$old_msi")"
  check_installed "$default_dir" "$old_version"
  check "the installer did not start Quorvel without the service" \
    log_has install-old "install-helper: Quorvel not started: the suite service does not run"
  check "no Quorvel window" not window find

  start_service
  wine64 "$(win_path "$default_dir\\quorvel.exe")" 2>/dev/null &
  local old_pid=$!
  check "the older Quorvel runs" window find --wait 30000

  msi upgrade 0 /i "$(z_path "$msi_file")"
  # The upgrade waited for the Windows process; its Unix side ends a moment later. One
  # still there after the deadline is stopped, and fails the check.
  wait_until 30 "the older Quorvel to exit" gone "$old_pid" || kill "$old_pid" 2>/dev/null
  wait "$old_pid"
  check "the upgrade closed the older Quorvel, which exited with 0" test $? = 0
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
  wine64 "$(win_path "$custom\\quorvel.exe")" -x 2>/dev/null
  check "-x closed Quorvel" window gone --wait 30000
  wine64 wineboot  # Wine's log-on: it starts the programs of the Run key
  check "a log-on starts Quorvel from the Run value" window find --wait 30000
}

"case_$case_name"
echo "$failures check(s) failed"
[ "$failures" = 0 ]
