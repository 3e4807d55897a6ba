#!/usr/bin/env bash
# Sets up, builds and starts Ostinel.exe under Wine with the simulated touch controller plugged in.
# With a display you type controller commands (event 01 = left click, event 02 = right click,
# unplug, plug, quit). Without a display it shows what the program does, in an Xvfb of its own:
# it moves the pointer, sends a left and a right click from the controller, saves the screen
# after connecting and the ring mid-spin (build/run-*.png), and records the sound cues the
# program plays to build/run-cues.wav.
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

# Every sound the program plays goes to a WAV file of its own (ALSA's file output: the next file
# of the same name gets .0001, .0002, ...); they are joined in the order played at the end.
cues=$root/build/run-cues
rm -rf "$cues" "$root/build/run-cues.wav"
mkdir -p "$cues"
cat >"$root/build/run-alsa.conf" <<EOF
pcm.!default {
  type file
  slave.pcm { type null }
  file "$cues/cue-%r-%c-%b.wav"
  format "wav"
  truncate false
}
ctl.!default { type hw card 0 }
EOF
export ALSA_CONFIG_PATH=$root/build/run-alsa.conf

fifo=$(mktemp -u /tmp/ostinel-sim.XXXXXX)
mkfifo "$fifo"
exec 7<>"$fifo"
wine "$bin/SimController.exe" <"$fifo" >"$root/build/sim-run.log" 2>&1 &
sim=$!
sleep 1
# In a Wine virtual desktop of the screen's size, so that pointer moves made with xdotool reach
# the program's mouse hook.
wine explorer /desktop=Ostinel,1024x768 "$bin/Ostinel.exe" </dev/null >"$root/build/ostinel-run.log" 2>&1 &
app=$!
# The status window shows "Connect OK!" and hides itself 1.5 s after connecting.
for i in $(seq 1 100); do grep -q connected "$root/build/sim-run.log" && break; sleep 0.1; done
sleep 0.6
import -window root "$root/build/run-connected.png"
x=300 y=250
xdotool mousemove $x $y
sleep 0.3
echo "event 01" >&7
sleep 0.6
echo "event 02" >&7
sleep 0.45  # about half of the ring's turn
import -window root -crop 200x200+$((x - 100))+$((y - 100)) +repage "$root/build/run-ring.png"
sleep 1.5  # the right-click cue ends
echo quit >&7
rm -f "$fifo"
echo "No display: ran under Xvfb $DISPLAY."
echo "Controller saw:"; sed 's/^/  /' "$root/build/sim-run.log"
echo "Screenshots: build/run-connected.png (connected), build/run-ring.png (the ring mid-spin at the pointer)"
[ "$(convert "$root/build/run-ring.png" -format %k info:)" -gt 1 ] || echo "  (no ring in build/run-ring.png)" >&2
mapfile -t recorded < <(cd "$cues" && ls -tr)
if [ ${#recorded[@]} -gt 0 ] && python3 scripts/pictures.py join "$root/build/run-cues.wav" 400 "${recorded[@]/#/$cues/}" &&
    summary=$(python3 scripts/pictures.py check "$root/build/run-cues.wav"); then
  order="in the order played"
  [ ${#recorded[@]} = 3 ] && order="the start cue, the left click and the right click"
  echo "Sound cues: build/run-cues.wav, ${#recorded[@]} cues 0.4 s apart ($order): $summary"
  echo "  play it with any audio player, e.g. aplay build/run-cues.wav"
else
  echo "Sound cues: none recorded (see build/ostinel-run.log)" >&2
  exit 1
fi
