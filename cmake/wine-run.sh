#!/bin/sh
# Runs a Windows program under Wine in a private prefix:
#   wine-run.sh [--prefix DIR] program.exe [arguments...]
# Without --prefix, $WINEPREFIX is used. The prefix is created on first use
# (under a lock, as CTest starts several tests at once), without the Mono and
# Gecko installers, and a wineserver is kept alive between the short test
# processes so each does not pay for starting one.
set -eu

if [ "${1:-}" = "--prefix" ]; then
  WINEPREFIX=$2
  shift 2
fi
: "${WINEPREFIX:?wine-run.sh: give --prefix DIR or set WINEPREFIX}"
if [ $# -eq 0 ]; then
  echo "usage: wine-run.sh [--prefix DIR] program.exe [arguments...]" >&2
  exit 2
fi
case $WINEPREFIX in
  /*) ;;
  *) WINEPREFIX=$(pwd)/$WINEPREFIX ;;
esac
WINEDEBUG=-all
WINEARCH=win32
export WINEPREFIX WINEDEBUG WINEARCH

WINE=${WINE:-wine}
WINESERVER=${WINESERVER:-wineserver}
if ! command -v "$WINE" >/dev/null 2>&1; then
  echo "wine-run.sh: $WINE not found (run scripts/setup)" >&2
  exit 127
fi

if [ ! -f "$WINEPREFIX/.vostrel-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.vostrel-ready" ]; then
      # Under emulation wineboot now and then stalls for good (a helper that
      # crashed, a debugger that never starts): give each try a time limit,
      # end what it left running and start again from an empty prefix.
      try=1
      until WINEDLLOVERRIDES="mscoree,mshtml=" timeout 180 "$WINE" wineboot -i >/dev/null 2>&1 &&
        timeout 60 "$WINESERVER" -w; do
        timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
        if [ $try -ge 3 ]; then
          echo "wine-run.sh: cannot create the Wine prefix $WINEPREFIX" >&2
          exit 1
        fi
        echo "wine-run.sh: making the Wine prefix stalled (try $try); trying again" >&2
        find "$WINEPREFIX" -mindepth 1 -delete 2>/dev/null || true
        try=$((try + 1))
      done
      touch "$WINEPREFIX/.vostrel-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

# Wine turns the profile's folders into links to the home folders only where
# those exist; the Win32 layer's link handling is tested on a link of its own.
profile=$WINEPREFIX/drive_c/users/$(id -un)
if [ -d "$profile" ] && [ ! -e "$profile/Vostrel link" ]; then
  mkdir -p "$WINEPREFIX/drive_c/vostrel-link-target"
  ln -sfn ../../vostrel-link-target "$profile/Vostrel link" 2>/dev/null || true
fi

# Keep one server for the burst of test processes; it ends on its own.
"$WINESERVER" -p 30 >/dev/null 2>&1 || true

exec "$WINE" "$@"
