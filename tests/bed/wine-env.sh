# Sourced by the test bed and the scripts that run Windows programs: the Wine environment
# they rely on, whatever the caller's environment holds.
#   bed_env PREFIX [DISPLAY]
# WINEDEBUG is quiet; a caller that needs debug channels sets it after this call.

# `wine64` runs with the Unix address-space layout fixed (tests/bed/wine-bin/wine64). This
# Wine has no preloader to reserve the Windows address ranges before the Unix loader runs,
# and its loader is linked low (0x7d000000), so with a randomised layout the kernel puts the
# loader's heap anywhere in the 1 GiB above it, now and then on the shared user data
# (0x7ffe0000): one process start in about 13,000 in a storm of starts measured here. That
# process dies with "failed to map the shared user data" and its parent's CreateProcess
# fails with ERROR_INTERNAL_ERROR (1359). With the layout fixed the heap starts right after
# the loader, every time, 48 MB below the shared user data.
_bed_wine_bin=$(cd "$(dirname "${BASH_SOURCE[0]}")/wine-bin" && pwd)

bed_env() {
  unset WINESERVER WINELOADER WINEDLLPATH WINEPATH WINEESYNC WINEFSYNC WINE_LARGE_ADDRESS_AWARE
  case $PATH in
    "$_bed_wine_bin:/usr/lib/wine:"*) ;;
    *) PATH=$_bed_wine_bin:/usr/lib/wine:$PATH ;;
  esac
  export PATH WINEARCH=win64 WINEPREFIX=$1 WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  if [ -n "${2:-}" ]; then export DISPLAY=$2; else unset DISPLAY; fi
}

# Polls the command every 0.1 s until it succeeds; after SECONDS it says what it waited
# for on standard error and fails.
#   wait_until SECONDS WHAT COMMAND...
wait_until() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "timed out after ${seconds} s waiting for $what" >&2
      return 1
    fi
    sleep 0.1
  done
}
