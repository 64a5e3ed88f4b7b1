# Sourced by demo.sh and screenshot-tray.sh: an installed suite of stand-ins in the prefix
# $WINEPREFIX, so that the tray menu offers what a suite installs. Its folder is
# C:\Program Files\Korvane\Ombrix, named as BaseDir in both registry views (manuals are
# looked up under the 32-bit view's folder, read once at start-up); the tools are copies of
# the suite-tool stand-in from BIN, which records the name it was started as; the manuals,
# help files and readme are empty files. The common application-data folder that Quorvel
# writes its installation report to is made too.
#   install_suite_standins BIN
install_suite_standins() {
  local bin=$1 view tool
  local suite_key='HKLM\SOFTWARE\Korvane\Ombrix\CurrentVersion'
  local suite_dir="$WINEPREFIX/drive_c/Program Files/Korvane/Ombrix"
  for view in 32 64; do
    wine64 reg add "$suite_key" /v BaseDir /t REG_SZ /d 'C:\Program Files\Korvane\Ombrix' /reg:$view /f >/dev/null
  done
  wine64 reg add 'HKLM\SOFTWARE\Korvane\Ombrix Suite\CurrentVersion' /v CurrentVersion /t REG_SZ /d 15.5 /f >/dev/null
  mkdir -p "$suite_dir/manuals" "$WINEPREFIX/drive_c/ProgramData/Korvane/Korvane Ombrix"
  for tool in KorvaneLinkfinder Quickprobe Lanprobe Sightline; do cp "$bin/suite-tool.exe" "$suite_dir/$tool.exe"; done
  (cd "$suite_dir" && touch manuals/tril.pdf manuals/visa.pdf "manuals/LXI Event and Timing.pdf" \
    tril.chm visa.chm Quickprobe.chm Sightline.chm readme.htm)
}
