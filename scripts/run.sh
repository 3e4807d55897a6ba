#!/usr/bin/env bash
# Sets up, builds and starts Ostinel.exe under Wine on this display. Without a display it runs in
# an Xvfb of its own for a few seconds (OSTINEL_RUN_SECONDS, default 10) and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
source scripts/wine-lib.sh

echo "Building..."
cmake --preset windows >/dev/null
cmake --build --preset windows --target Ostinel >/dev/null

ostinel_wine_env
export WINEPREFIX=${OSTINEL_WINEPREFIX:-$HOME/.local/share/ostinel/wineprefix}
ostinel_wine_template "$WINEPREFIX"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  ostinel_ensure_display
fi

wine "$root/build/windows/bin/Ostinel.exe" </dev/null >"$root/build/ostinel-run.log" 2>&1 &
app=$!
if [ $headless = 0 ]; then
  echo "Ostinel is running (Wine prefix $WINEPREFIX). Press Ctrl-C to stop."
  trap 'kill $app 2>/dev/null; wineserver -k; exit 0' INT TERM
  wait $app
else
  sleep "${OSTINEL_RUN_SECONDS:-10}"
  shot=$root/build/run-screenshot.png
  import -window root "$shot"
  echo "No display: ran under Xvfb $DISPLAY; screenshot saved to $shot"
  kill $app 2>/dev/null || true
  wineserver -k || true
  ostinel_stop_display
fi
