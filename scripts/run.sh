#!/usr/bin/env bash
# Sets up, builds and starts Ostinel.exe under Wine with the simulated touch controller plugged in.
# With a display you type controller commands (event 01 = left click, event 02 = right click,
# unplug, plug, quit). Without a display it runs in an Xvfb of its own, feeds a few touches and
# saves screenshots to build/run-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
source scripts/wine-lib.sh

echo "Building..."
cmake --preset windows >/dev/null
cmake --build --preset windows --target Ostinel SimController >/dev/null
bin=$root/build/windows/bin

ostinel_wine_env
export WINEPREFIX=${OSTINEL_WINEPREFIX:-$HOME/.local/share/ostinel/wineprefix}
ostinel_wine_template "$WINEPREFIX"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  ostinel_ensure_display
fi

# Wine's own helper processes start first, away from this terminal.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  ostinel_stop_display
}
trap cleanup EXIT

if [ $headless = 0 ]; then
  echo "Starting Ostinel (Wine prefix $WINEPREFIX) with the simulated controller plugged in."
  echo "Type: event 01 (left click), event 02 (right click, after moving the mouse), unplug, plug, quit"
  wine "$bin/Ostinel.exe" </dev/null >"$root/build/ostinel-run.log" 2>&1 &
  app=$!
  sleep 0.5
  wine "$bin/SimController.exe"
  exit 0
fi

fifo=$(mktemp -u /tmp/ostinel-sim.XXXXXX)
mkfifo "$fifo"
exec 7<>"$fifo"
wine "$bin/SimController.exe" <"$fifo" >"$root/build/sim-run.log" 2>&1 &
sim=$!
sleep 1
wine "$bin/Ostinel.exe" </dev/null >"$root/build/ostinel-run.log" 2>&1 &
app=$!
# The status window shows "Connect OK!" and hides itself 1.5 s after connecting.
for i in $(seq 1 50); do grep -q connected "$root/build/sim-run.log" && break; sleep 0.1; done
sleep 0.6
import -window root "$root/build/run-connected.png"
echo "event 01" >&7; sleep 0.3; echo "event 02" >&7; sleep 1
import -window root "$root/build/run-after-touches.png"
echo quit >&7
rm -f "$fifo"
echo "No display: ran under Xvfb $DISPLAY."
echo "Controller saw:"; sed 's/^/  /' "$root/build/sim-run.log"
echo "Screenshots: build/run-connected.png build/run-after-touches.png"
