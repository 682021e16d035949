#!/bin/sh
# Runs a GUI test program under Wine on an X display:
#   gui-run.sh WINE_RUN PREFIX program.exe [arguments...]
# With no display given, the program gets a private Xvfb. The GUI tests have
# a Wine prefix of their own, apart from the console tests', and its Wine
# session ends with each program: the desktop and service processes that the
# program started hold its output open, and they must not outlive a display.
set -eu
wine_run=$1
prefix=$2
shift 2

if [ -z "${DISPLAY:-}" ]; then
  if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "gui-run.sh: no DISPLAY and no xvfb-run (run scripts/setup)" >&2
    exit 127
  fi
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$wine_run" "$prefix" "$@"
fi

# A program that stalled inside Wine (under emulation a helper crashes now
# and then and waits on a debugger for good) leaves the prefix's server
# wedged for every later program: end what an earlier one left, and give
# each program a limit below the test's own, so the cleanup below runs.
WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
status=0
timeout -k 10 240 "$wine_run" --prefix "$prefix" "$@" || status=$?
WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1 || true
exit $status
