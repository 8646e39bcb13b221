#!/usr/bin/env bash
# Runs the program under Wine in a prefix of its own, with one demonstration serial port
# (COM7) that the simulated tool answers as an M5Stick S3.
set -euo pipefail
exe=$(realpath "$1")
export WINEPREFIX="$PWD/build/windows/demo-prefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.ready" ]; then
  echo "Preparing a Wine prefix for the demonstration (once)..."
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d /dev/ptmx /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  touch "$WINEPREFIX/.ready"
fi
export VTF_SIM_PORTS="${VTF_SIM_PORTS:-COM7=esp32s3}"
export VTF_SIM_TIME_SCALE="${VTF_SIM_TIME_SCALE:-1}"
exec "$wine" "$exe"
