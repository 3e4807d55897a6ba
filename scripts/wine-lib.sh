# Shell functions for running Ostinel's Windows programs under Wine. Source this file.

OSTINEL_ROOT=${OSTINEL_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

ostinel_wine_env() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export ALSA_CONFIG_PATH=$OSTINEL_ROOT/scripts/alsa-null.conf
  export WINEARCH=win64
}

# Makes a ready prefix at $1 once (boot, unmanaged windows, CJK font replacements).
ostinel_wine_template() {
  local dir=$1
  [ -f "$dir/.ostinel-ready" ] && return 0
  mkdir -p "$(dirname "$dir")"
  (
    flock 9
    [ -f "$dir/.ostinel-ready" ] && exit 0
    rm -rf "$dir"
    ostinel_wine_env
    export WINEPREFIX=$dir
    wineboot -i </dev/null >/dev/null 2>&1
    local r='wine reg add'
    # Without a window manager, captions are drawn and hiding is fast only for unmanaged windows.
    $r 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    for f in SimSun PMingLiU MingLiU NSimSun 'MS UI Gothic' 'Microsoft JhengHei' 'Microsoft YaHei'; do
      $r 'HKCU\Software\Wine\Fonts\Replacements' /v "$f" /t REG_SZ /d 'WenQuanYi Micro Hei' /f \
        </dev/null >/dev/null 2>&1
    done
    wineserver -w
    touch "$dir/.ostinel-ready"
  ) 9>"$dir.lock"
}

# Copies the template prefix $1 into a new private prefix and exports WINEPREFIX for it; the
# copy's path is left in OSTINEL_PREFIX. $2 names the copy (a mktemp template).
ostinel_fresh_prefix() {
  OSTINEL_PREFIX=$(mktemp -d "${2:-/tmp/ostinel-wine.XXXXXX}") || return 1
  cp -a "$1/." "$OSTINEL_PREFIX/" || return 1
  export WINEPREFIX=$OSTINEL_PREFIX
}

# Makes sure DISPLAY names a reachable X server; starts Xvfb on a free display otherwise.
# Sets OSTINEL_XVFB_PID when it started one.
ostinel_ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -noreset -nolisten tcp </dev/null >/dev/null 2>&1 &
    OSTINEL_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$OSTINEL_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}

ostinel_stop_display() {
  if [ -n "${OSTINEL_XVFB_PID:-}" ]; then
    kill "$OSTINEL_XVFB_PID" 2>/dev/null || true
    wait "$OSTINEL_XVFB_PID" 2>/dev/null || true
    OSTINEL_XVFB_PID=
  fi
}

# Windows form of a Linux path (Wine maps / to drive Z:).
ostinel_winpath() { printf 'Z:%s' "$1" | sed 's#/#\\#g'; }

# Builds a Windows benchmark target (the Release build in OSTINEL_BUILD_DIR, default build/windows)
# and runs it under Wine with the given arguments. Used by the bench/*.sh wrappers.
ostinel_run_windows_bench() {
  local target=$1; shift
  local build=${OSTINEL_BUILD_DIR:-$OSTINEL_ROOT/build/windows}
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$OSTINEL_ROOT" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$OSTINEL_ROOT/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null || return 1
  fi
  cmake --build "$build" -j2 --target "$target" >/dev/null || return 1
  cd "$build" && exec "$OSTINEL_ROOT/cmake/wine-run.sh" "bin/$target.exe" "$@"
}
