# Shared pieces of the installer tests (source it): a fresh copy of the template prefix with its
# own server, a check that counts failures, registry queries, and starting and ending the
# installed utility. Every Wine program's output goes to a log file: Wine's helper processes would
# otherwise inherit ctest's pipe and keep it open.
# Before sourcing: root (the repository). After: prefix, log, check, failures, utility_pid.
source "$root/scripts/wine-lib.sh"
ostinel_wine_env
# No Linux desktop entries for the Start-menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

install_dir=
win_install_dir='C:\Program Files\Ostinel'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKLM\Software\Vemto\Brenlo'
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
event_source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\Ostinel'
utility_pid=
failures=0
# Files beside the prefix that the test made; removed at the end.
leftovers=()

cleanup() {
  [ -n "$utility_pid" ] && kill "$utility_pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  if [ "$failures" != 0 ]; then
    echo "--- Wine output:"
    cat "$log"
  fi
  rm -rf "$prefix" "$log" "$prefix.out" "$prefix.pid" "${leftovers[@]}"
  ostinel_stop_display
}

# installer_test_begin NAME: the display, a fresh prefix /tmp/NAME.XXXXXX with its server running.
installer_test_begin() {
  local template=${OSTINEL_WINE_TEMPLATE:-$PWD/wine-template}
  ostinel_wine_template "$template" || exit 1
  ostinel_ensure_display || exit 1
  ostinel_fresh_prefix "$template" "/tmp/$1.XXXXXX" || exit 1
  prefix=$OSTINEL_PREFIX
  log=$prefix.log
  install_dir=$prefix/drive_c/Program\ Files/Ostinel
  trap cleanup EXIT
  : >"$log"
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >>"$log" 2>&1
  started=$(date +%s%N)
}

elapsed() {
  local ds=$((($(date +%s%N) - started) / 100000000))
  printf '%3d.%ds' $((ds / 10)) $((ds % 10))
}
check() {
  local what=$1
  shift
  if "$@"; then
    echo "$(elapsed) ok      $what"
  else
    echo "$(elapsed) FAILED  $what"
    failures=$((failures + 1))
  fi
}
installer_test_end() {
  echo "$(elapsed) $failures failed"
  [ "$failures" = 0 ]
}

# Runs a Windows program and waits for it; its exit code is the function's.
run_wine() { wine "$@" </dev/null >>"$log" 2>&1; }

# reg_query KEY VALUE VIEW: the value's data on stdout; fails when the key or the value is missing.
reg_query() {
  local name_args=()
  [ -n "$2" ] && name_args=(/v "$2")
  wine reg query "$1" "${name_args[@]}" "/reg:$3" </dev/null >"$prefix.out" 2>>"$log" || return 1
  [ -z "$2" ] && return 0
  tr -d '\r' <"$prefix.out" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | grep .
}
reg_is() { [ "$(reg_query "$1" "$2" "$3")" = "$4" ]; }
reg_missing() { ! reg_query "$1" "$2" "$3" >/dev/null; }
key_missing() { ! reg_query "$1" "" "$2"; }

same_file() { cmp -s "$1" "$2"; }
# The event log source names the installed Ostinel.exe as its message file, for all three types.
event_source_registered() {
  reg_is "$event_source_key" EventMessageFile 64 "$win_install_dir\Ostinel.exe" &&
    reg_is "$event_source_key" TypesSupported 64 0x7
}
shortcut_names_opener() { [ -f "$shortcut" ] && grep -aq 'OstinelSettings.exe' "$shortcut"; }

wait_status_window() {
  local i
  for i in $(seq 1 100); do
    xdotool search --pid "$1" --name 'Vemto Kavrix Sound out' >/dev/null 2>&1 && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Starts the installed utility on the default desktop, where the installer's opener sees it,
# detached so that its end is seen by kill -0, and waits for its status window.
start_utility() {
  (wine "$win_install_dir\\Ostinel.exe" </dev/null >>"$log" 2>&1 & echo $! >"$prefix.pid")
  utility_pid=$(cat "$prefix.pid")
  wait_status_window "$utility_pid"
}
# Linux PID of the installed utility running in this prefix (whatever started it).
installed_utility_pid() {
  local p
  for p in /proc/[0-9]*; do
    { [ "$(tr '\0' '\n' <"$p/cmdline" | head -1)" = "$win_install_dir\Ostinel.exe" ] &&
      tr '\0' '\n' <"$p/environ" | grep -qxF "WINEPREFIX=$prefix"; } 2>/dev/null && { echo "${p#/proc/}"; return 0; }
  done
  return 1
}
# Starts it on a desktop of its own: like a copy in another user's session (or seen from a setup
# running as SYSTEM), the installer can neither see nor end it.
start_utility_elsewhere() {
  (wine explorer /desktop=Elsewhere,640x480 "$win_install_dir\Ostinel.exe" </dev/null >>"$log" 2>&1 &)
  local i
  utility_pid=
  for i in $(seq 1 100); do
    utility_pid=$(installed_utility_pid) && wait_status_window "$utility_pid" && return 0
    sleep 0.1
  done
  return 1
}
utility_running() { kill -0 "$utility_pid" 2>/dev/null; }
utility_ended() {
  local i
  for i in $(seq 1 50); do
    kill -0 "$utility_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
end_utility() { kill "$utility_pid" 2>/dev/null; utility_ended; }
# A restart of Windows: Wine's wineboot -r carries out the renames left for the next start.
restart() { wineboot -r </dev/null >>"$log" 2>&1; }
