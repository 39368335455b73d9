#!/usr/bin/env bash
# Builds Orvik and starts it.
#   bash scripts/run.sh              the device simulator on a pseudo-terminal, and the console
#   bash scripts/run.sh /dev/ttyUSB0 a real serial port; no simulator
#   bash scripts/run.sh rfc2217://host:2217   a port server (also socket://host:port)
# The console's settings file (Orvik.ini beside the program) gets the port's name. Without a
# display the console runs under a virtual X server for a few seconds and a picture of each
# page is saved instead.
set -euo pipefail
ORVIK_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ORVIK_ROOT/scripts/setup.sh"
orvik_install_packages

build=${ORVIK_BUILD_DIR:-$ORVIK_ROOT/build}
orvik_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIK_BUILD_BENCH=OFF
bin=$build/bin
ini=$bin/Orvik.ini
work=$(mktemp -d)
sim_pid=

cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# set_port NAME FRESH: writes the port name into the settings file; on a fresh file also the
# simulator's command words as the eight preset commands (in the file's code page).
set_port() {
  local port=$1 fresh=$2
  if [ ! -f "$ini" ]; then
    {
      printf '[Com]\r\nComPortNo=%s\r\nBaudRate=13\r\n' "$port"
      if [ "$fresh" = yes ]; then
        printf '[Commands]\r\nPUSK=PUSK\r\nRESTART=RESTART\r\nDIAGNOSTIC=DIAGNOSTIC\r\n'
        printf 'INVERTER=INVERTER\r\nRECTIFIER=RECTIFIER\r\nVCC=Vcc\r\nCURRENT=It\r\nTEMPERATURE=t\xb0C\r\n'
      fi
    } >"$ini"
    return
  fi
  # Replace ComPortNo in [Com] (any case), or add it at the top of that section.
  awk -v port="$port" '
    BEGIN { IGNORECASE = 1 }
    /^\[/ { if (incom && !done) { print "ComPortNo=" port "\r"; done = 1 }
            incom = tolower($0) ~ /^\[com\]/ }
    incom && tolower($0) ~ /^comportno=/ { if (!done) print "ComPortNo=" port "\r"; done = 1; next }
    { print }
    END { if (!done) { if (!incom) print "[Com]\r"; print "ComPortNo=" port "\r" } }
  ' "$ini" >"$work/ini" && cat "$work/ini" >"$ini"
}

if [ $# -ge 1 ]; then
  port=$1
  shift
else
  "$bin/orvik-devsim" --reconnect --seed "${ORVIK_SEED:-1}" >"$work/devsim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    port=$(sed -n 's/^PORT //p' "$work/devsim.out" | head -n 1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "The simulator did not start:" >&2; cat "$work/devsim.out" >&2; exit 1; }
  echo "Device simulator on $port"
fi
[ -f "$ini" ] && set_port "$port" no || set_port "$port" yes

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting the console. Choose RS232 on the \"Настройки\" page to connect to $port."
  "$bin/orvik" "$@"
else
  shots=${ORVIK_SHOTS:-$ORVIK_ROOT/screenshots}
  echo "No display: running the console under a virtual X server and saving its pages in $shots"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/orvik-shots" "$shots" "${ORVIK_SHOT_SECONDS:-5}"
  echo "Pictures of the pages are in $shots"
fi
if [ -n "$sim_pid" ]; then
  kill -TERM "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
  echo "Simulator's figures:"
  sed -n '/^END/,$p' "$work/devsim.out"
fi
