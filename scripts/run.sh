#!/usr/bin/env bash
# Builds Orvik and starts it. With no argument the device simulator is started on a
# pseudo-terminal and the console talks to it; with a device path (/dev/ttyUSB0, COM3...)
# that port is used instead and no simulator runs.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages

build=${ORVIK_BUILD_DIR:-$ORVIK_ROOT/build}
orvik_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
bin=$build/bin

if [ $# -ge 1 ]; then
  device=$1
  shift
  if [ -x "$bin/orvik" ]; then
    exec "$bin/orvik" "$@"
  fi
  echo "The console is not built yet; open $device with any terminal program." >&2
  exit 1
fi

echo "Starting the device simulator; its port path follows. Talk to it with, for example:"
echo "  picocom -b 115200 --omap crlf <path>     (or: screen <path> 115200)"
echo "Type a command word (see the README) and Enter. Ctrl-C stops the simulator."
exec "$bin/orvik-devsim" "$@"
