#!/usr/bin/env bash
# Makes the README's pictures again, from Ostinel.exe running under Wine in an Xvfb of its own:
#   docs/ring-spin.gif                                  the ring of one right click, frame by frame
#   docs/screenshots/function-button-{idle,armed,move-mode}.png        at 100 %
#   docs/screenshots/function-button-{idle,armed,move-mode}-150.png    at 150 % (LogPixels 144)
#   docs/screenshots/ring-100-150.png                   the ring's first frame at 100 % beside 150 %
#   docs/screenshots/settings-dialog-<language>.png     opened with OstinelSettings.exe
#   docs/screenshots/status-window-<language>.png       at start, with no controller plugged in
# Takes about a minute after the build. Not part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
source scripts/wine-lib.sh

echo "Building..."
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target Ostinel SimController OstinelSettings >/dev/null
bin=$root/build/windows/bin
shots=$root/docs/screenshots
mkdir -p "$shots"

ostinel_wine_env
template=$root/build/windows/wine-template
ostinel_wine_template "$template"
work=$(mktemp -d /tmp/ostinel-pictures.XXXXXX)
ostinel_fresh_prefix "$template" "$work/prefix.XXXXXX"

# An Xvfb of our own that also keeps its screen in a file (-fbdir), so frames can be read faster
# than the ring turns. That file shows the pointer too, which screen grabs through X leave out.
mkdir "$work/fb"
for n in $(seq 150 199); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -noreset -nolisten tcp -fbdir "$work/fb" </dev/null >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=":$n"
  for i in $(seq 1 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 && break
  kill "$xvfb" 2>/dev/null || true
  xvfb=
done
[ -n "${xvfb:-}" ] || { echo "could not start Xvfb" >&2; exit 1; }

cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  [ -n "${OSTINEL_PICTURES_KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

start_wine() {
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Prints the X window id of the program's visible top-level window whose title is (or, with
# "not", is not) the given one. Without a virtual desktop every Wine top-level is an X window.
visible_window() {
  local mode=$1 title=$2 id name
  xwininfo -root -tree | grep '("ostinel.exe"' | grep -v '"Default IME"' |
    while read -r id name; do
      name=${name#\"}; name=${name%%\": (*}
      if [ "$mode" = is ] && [ "$name" != "$title" ]; then continue; fi
      if [ "$mode" = not ] && [ "$name" = "$title" ]; then continue; fi
      xwininfo -id "$id" | grep -q IsViewable && { echo "$id"; break; }
    done
  return 0
}

wait_window() {
  local id i
  for i in $(seq 1 100); do
    id=$(visible_window "$@")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "window not shown: $*" >&2
  return 1
}

stop_app() {
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=
}

# 1. Status window and settings dialog in each interface language: its locale and the name of its
# pictures, which the build writes from the language table.
status_title="Vemto Kavrix Sound out v1.000h"
start_wine
for entry in $(cat "$root/build/windows/generated/table_lists/pictures.txt"); do
  locale=${entry%%:*} name=${entry#*:}
  LC_ALL=$locale wine "$bin/Ostinel.exe" </dev/null >"$work/ostinel-$name.log" 2>&1 &
  app=$!
  status=$(wait_window is "$status_title")
  sleep 2.5  # the first search for the controller fails and logs its lines
  import -window "$status" "$shots/status-window-$name.png"
  LC_ALL=$locale wine "$bin/OstinelSettings.exe" </dev/null >/dev/null 2>&1
  dialog=$(wait_window not "$status_title")
  sleep 0.5
  import -window "$dialog" "$shots/settings-dialog-$name.png"
  stop_app
done
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true

# 2. The ring and the function button, in Wine's virtual desktop (so that the X pointer, moved by
# xdotool, reaches Wine), with the function button on: ButtonSetup = 0x10 | 0x0F.
r='wine reg add'
$r 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
$r 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
$r 'HKLM\Software\Vemto\Brenlo' /v ButtonSetup /t REG_DWORD /d 31 /f /reg:32 </dev/null >/dev/null 2>&1
start_wine
mkfifo "$work/sim-in"
exec 7<>"$work/sim-in"
# Idle reads complete every 50 ms, so the button's commands go out without waiting for a touch.
wine "$bin/SimController.exe" --idle 50 <"$work/sim-in" >"$work/sim.log" 2>&1 &
sim=$!
sleep 1
LC_ALL=en_US.UTF-8 wine "$bin/Ostinel.exe" </dev/null >"$work/ostinel.log" 2>&1 &
app=$!
for i in $(seq 1 100); do grep -q connected "$work/sim.log" && break; sleep 0.1; done
grep -q connected "$work/sim.log" || { echo "the program did not connect to the simulated controller" >&2; exit 1; }
sleep 2.5  # the status window hides 1.5 s after connecting

# The ring: a right click from the controller with the pointer at (x, y); every screen state of
# the 160 x 160 area around it for 1.6 s, each shown in the GIF for as long as it lasted.
x=300 y=300 size=160
xdotool mousemove $x $y
sleep 0.5
python3 scripts/pictures.py frames "$work/fb/Xvfb_screen0" $((x - size / 2)) $((y - size / 2)) $size $size 1.6 \
  "$work/frames" >"$work/frames.txt" 2>"$work/frames.err" &
grabber=$!
for i in $(seq 1 50); do grep -q polling "$work/frames.err" && break; sleep 0.05; done
echo "event 02" >&7
wait "$grabber"
args=()
count=0
while read -r file start duration; do
  delay=$(awk -v ms="$duration" 'BEGIN { d = int(ms / 10 + 0.5); print (d < 2 ? 2 : d) }')
  [ "$count" = 0 ] && delay=60  # before the click
  args+=(-delay "$delay" "$work/frames/$file")
  count=$((count + 1))
done <"$work/frames.txt"
args[$(( ${#args[@]} - 2 ))]=60  # after the ring has gone
if [ "$count" -lt 14 ]; then
  echo "only $count screen states of the ring's turn were caught (24 steps expected)" >&2
  exit 1
fi
convert -loop 0 "${args[@]}" -layers Optimize "$root/docs/ring-spin.gif"
echo "ring-spin.gif: $(tail -1 "$work/frames.err")"

# The function button in its three states, twice its size (its side at the program's scale plus a
# margin of a fifth of it): side 50, 60 from the right and 120 from the bottom at 100 %.
button_shots() {
  local side=$1 right=$2 bottom=$3 suffix=$4 margin=$(($1 / 5))
  local bx=$((1024 - right)) by=$((768 - bottom)) crop=$(($1 + 2 * margin))
  button_shot() {
    xdotool mousemove 700 150  # the pointer off the button and the status window
    sleep 0.6
    import -window root -crop ${crop}x${crop}+$((bx - margin))+$((by - margin)) "$work/button.png"
    convert "$work/button.png" +repage -scale 200% -strip "$shots/function-button-$1$suffix.png"
  }
  button_shot idle
  xdotool mousemove $((bx + side / 2)) $((by + side / 2)) click 3
  button_shot armed
  xdotool mousemove $((bx + side / 2)) $((by + side / 2)) click --repeat 2 --delay 80 1
  button_shot move-mode
  if [ "$(md5sum "$shots"/function-button-{idle,armed,move-mode}$suffix.png | cut -d' ' -f1 | sort -u | wc -l)" != 3 ]
  then
    echo "the function button did not show three different states ($side pixels)" >&2
    exit 1
  fi
}
button_shots 50 60 120 ""
sleep 0.3
grep -q "recv 01 01" "$work/sim.log" || { echo "arming the button sent no 01 01 to the controller" >&2; exit 1; }

# 3. The ring at 150 % beside 100 %: the upright first frame of a right click at each scale, the
# program started again with the prefix's LogPixels at 144 for the second.
ring_first_frame() {  # $1: name of the scale
  local x=300 y=300 size=220 i first
  xdotool mousemove 700 500
  sleep 1.2  # any ring of before has gone
  xdotool mousemove $x $y
  sleep 0.5
  python3 scripts/pictures.py frames "$work/fb/Xvfb_screen0" $((x - size / 2)) $((y - size / 2)) $size $size 0.6 \
    "$work/ring-$1" >"$work/ring-$1.txt" 2>"$work/ring-$1.err" &
  local grabber=$!
  for i in $(seq 1 50); do grep -q polling "$work/ring-$1.err" && break; sleep 0.05; done
  echo "event 02" >&7
  wait "$grabber"
  first=$(sed -n 2p "$work/ring-$1.txt" | cut -d' ' -f1)  # the line before it is the screen before the click
  [ -n "$first" ] || { echo "no ring frame caught at $1" >&2; exit 1; }
  convert "$work/ring-$1/$first" -strip "$work/ring-$1.png"
}
ring_first_frame 100
stop_app
$r 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
connections=$(grep -c ' connected.\?$' "$work/sim.log" || true)
LC_ALL=en_US.UTF-8 wine "$bin/Ostinel.exe" </dev/null >"$work/ostinel-150.log" 2>&1 &
app=$!
for i in $(seq 1 100); do [ "$(grep -c ' connected.\?$' "$work/sim.log" || true)" -gt "$connections" ] && break; sleep 0.1; done
sleep 2.5
ring_first_frame 150
convert "$work/ring-100.png" "$work/ring-150.png" -bordercolor white -border 6 +append -strip "$shots/ring-100-150.png"
stop_app
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f </dev/null >/dev/null 2>&1 || true
echo quit >&7

# At 150 % (the program reads the scale when it starts): side 75, 90 from the right, 180 from the
# bottom. No controller this time; the status window stays up in the middle.
$r 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f </dev/null >/dev/null 2>&1
LC_ALL=en_US.UTF-8 wine "$bin/Ostinel.exe" </dev/null >"$work/ostinel-150.log" 2>&1 &
app=$!
# Inside the virtual desktop windows are not X windows: wait until the button's square is drawn.
for i in $(seq 1 100); do
  import -window root -crop 75x75+934+588 "$work/probe.png"
  [ "$(convert "$work/probe.png" -format %k info:)" -gt 100 ] && break
  sleep 0.1
done
sleep 0.5
button_shots 75 90 180 -150
stop_app

echo "Pictures made:"
echo "  docs/ring-spin.gif $(identify -format '%wx%h' docs/ring-spin.gif[0]), $(identify docs/ring-spin.gif | wc -l) frames"
(cd "$root" && identify -format '%d/%f %wx%h\n' docs/screenshots/*.png) | sed 's/^/  /'
