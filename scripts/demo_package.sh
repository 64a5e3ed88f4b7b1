# Sourced by demo.sh: the demo installs Quorvel from its Windows Installer package at the
# start, runs it from where the package put it, and removes the package at the end.
# Uses demo.sh's step and run functions and its build, wine_root and suite_key variables;
# sets quorvel_exe (the installed program, as a Unix path). Windows names of Unix files are
# on drive Z:, the Unix root.

demo_package_log() {
  # The helper's lines in the installer's log say what it did to Quorvel.
  tr -d '\r' <"$1" | sed -n 's/^.*\(install-helper: .*\)$/  msi log: \1/p'
}

demo_package_install() {
  step "0. Install Quorvel from its Windows Installer package (silently, with a log); it goes to the suite's bin folder"
  cmake --build "$build" --target installer-package >/dev/null
  local version start
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  demo_msi=$build/Quorvel-$version-x64.msi
  echo "package: $demo_msi ($(du -k "$demo_msi" | cut -f1) KiB)"
  start=$SECONDS
  run wine64 msiexec /i "Z:${demo_msi//\//\\}" /qn /l*v "Z:${wine_root//\//\\}\\demo-install.log"
  echo "installed in $((SECONDS - start)) s"
  demo_package_log "$wine_root/demo-install.log"
  local run_value
  run_value=$(wine64 reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v Quorvel | tr -d '\r' |
    sed -n 's/^ *Quorvel *REG_SZ *//p')
  echo "log-on start (Run value \"Quorvel\"): $run_value"
  run_value=${run_value//\"/}
  run_value=${run_value#C:\\}
  quorvel_exe=$WINEPREFIX/drive_c/${run_value//\\//}
  echo "Quorvel is installed as C:\\$run_value; the demo runs it from there"
}

demo_package_remove() {
  step "17. Remove the package: Quorvel closed first (it is not running now), its files and log-on value removed, the suite's values kept"
  run wine64 msiexec /x "Z:${demo_msi//\//\\}" /qn /l*v "Z:${wine_root//\//\\}\\demo-remove.log"
  demo_package_log "$wine_root/demo-remove.log"
  echo "what is left in $(dirname "$quorvel_exe"):"
  ls "$(dirname "$quorvel_exe")" | sed 's/^/  /'
  wine64 reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v Quorvel >/dev/null 2>&1 &&
    echo "the Run value is still there" || echo "the Run value \"Quorvel\" is gone"
  echo "the suite key keeps its values:"
  wine64 reg query "$suite_key" | tr -d '\r' | sed -n 's/^    /  /p'
}
