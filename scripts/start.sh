#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it under Wine in a window on your
# display. The default build simulates the device (see the README): a demonstration port,
# COM7, is listed and answers as an M5Stick S3, and nothing is written to any real port.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

[ -n "${VTF_SETUP_DONE:-}" ] || scripts/setup.sh
drop_sudo "$0" "$@"

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: run this from a desktop session (DISPLAY is not set)." >&2
  exit 1
fi

tree=build/windows
cmake --preset windows >/dev/null
cmake --build --preset windows --target VantorTrackerFlasher
export VTF_DEMO_PREFIX="$PWD/$tree/demo-prefix"
exec scripts/demo.sh "$tree/src/app/win32/VantorTrackerFlasher.exe"
