#!/usr/bin/env bash
# Runs the program under Wine in a prefix of its own, with one demonstration serial port
# (COM7) that the simulated tool answers as an M5Stick S3 at a real device's pace.
#   scripts/demo.sh path/to/VantorTrackerFlasher.exe
# VTF_DEMO_PREFIX names the prefix (build/windows/demo-prefix by default); VTF_SIM_PORTS and
# VTF_SIM_TIME_SCALE change what answers and how fast (src/payloads/simulator/README.md).
set -euo pipefail
exe=$(realpath "$1")
export WINEPREFIX="${VTF_DEMO_PREFIX:-$PWD/build/windows/demo-prefix}"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver

if [ ! -f "$WINEPREFIX/.ready" ]; then
  echo "Preparing a Wine prefix for the demonstration (once)..."
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  # Wine lists in HARDWARE\DEVICEMAP\SERIALCOMM the ports it finds when its server starts:
  # the machine's own serial devices, and those named here. COM7 is a pseudo-terminal that
  # nothing answers on; the simulated tool never opens it, it only needs the name listed.
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d /dev/ptmx /f </dev/null >/dev/null 2>&1
  "$server" -k || true
  "$server" -w
  touch "$WINEPREFIX/.ready"
fi

# Text shaping draws a character that the chosen font lacks (the log's symbols) in the
# fallback font, "Microsoft Sans Serif", which the prefix does not have: Symbola stands in.
if [ ! -f "$WINEPREFIX/.symbols" ]; then
  "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'Microsoft Sans Serif' /d Symbola /f </dev/null >/dev/null 2>&1
  "$server" -w
  touch "$WINEPREFIX/.symbols"
fi

export VTF_SIM_PORTS="${VTF_SIM_PORTS:-COM7=esp32s3}"
export VTF_SIM_TIME_SCALE="${VTF_SIM_TIME_SCALE:-1}"
exec "$wine" "$exe"
