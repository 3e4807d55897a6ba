#!/usr/bin/env bash
# OstinelSetup.exe under Wine, in a fresh copy of the template prefix: a silent install, a silent
# reinstall over a running utility, then a silent uninstall that must end the running utility and
# remove everything but the users' settings.
# Usage: installer_test.sh <directory of OstinelSetup.exe>
# Every Wine program's output goes to a log file: Wine's helper processes would otherwise inherit
# ctest's pipe and keep it open.
set -u
bin=$(cd "${1:?usage: installer_test.sh <bin directory>}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-lib.sh"
ostinel_wine_env
# No Linux desktop entries for the Start-menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
template=${OSTINEL_WINE_TEMPLATE:-$PWD/wine-template}
ostinel_wine_template "$template" || exit 1
ostinel_ensure_display || exit 1

ostinel_fresh_prefix "$template" /tmp/ostinel-setup.XXXXXX || exit 1
prefix=$OSTINEL_PREFIX
log=$prefix.log
utility_pid=

cleanup() {
  [ -n "$utility_pid" ] && kill "$utility_pid" 2>/dev/null
  wineserver -k </dev/null >/dev/null 2>&1
  wineserver -w </dev/null >/dev/null 2>&1
  if [ "$failures" != 0 ]; then
    echo "--- Wine output:"
    cat "$log"
  fi
  rm -rf "$prefix" "$log" "$prefix.out" "$prefix.pid"
  ostinel_stop_display
}
failures=0
trap cleanup EXIT
: >"$log"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >>"$log" 2>&1

started=$(date +%s%N)
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

install_dir=$prefix/drive_c/Program\ Files/Ostinel
shortcut=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Ostinel\ Settings.lnk
win_install_dir='C:\Program Files\Ostinel'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostinel'
settings_key='HKLM\Software\Vemto\Brenlo'

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

# Starts the installed utility, detached so that its end is seen by kill -0, and waits for its
# status window.
start_utility() {
  (wine "$win_install_dir\\Ostinel.exe" </dev/null >>"$log" 2>&1 & echo $! >"$prefix.pid")
  utility_pid=$(cat "$prefix.pid")
  local i
  for i in $(seq 1 100); do
    xdotool search --pid "$utility_pid" --name 'Vemto Kavrix Sound out' >/dev/null 2>&1 && return 0
    kill -0 "$utility_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
utility_ended() {
  local i
  for i in $(seq 1 50); do
    kill -0 "$utility_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}
same_file() { cmp -s "$1" "$2"; }
shortcut_names_opener() { [ -f "$shortcut" ] && grep -aq 'OstinelSettings.exe' "$shortcut"; }

echo "installer: $(du -h "$bin/OstinelSetup.exe" | cut -f1)"
check "silent install exits 0" run_wine "$bin/OstinelSetup.exe" /S
check "Ostinel.exe installed" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
check "OstinelSettings.exe installed" same_file "$install_dir/OstinelSettings.exe" "$bin/OstinelSettings.exe"
check "uninstaller written" test -f "$install_dir/Uninstall.exe"
check "all-users Start-menu shortcut to the opener" shortcut_names_opener
check "Run value starts the utility at logon" reg_is "$run_key" Ostinel 64 "\"$win_install_dir\\Ostinel.exe\""
check "settings key in the 32-bit view" reg_query "$settings_key" "" 32
check "no settings key in the 64-bit view" key_missing "$settings_key" 64
check "uninstall entry named Ostinel" reg_is "$uninstall_key" DisplayName 64 Ostinel
check "uninstall entry runs the uninstaller" \
  reg_is "$uninstall_key" UninstallString 64 "\"$win_install_dir\\Uninstall.exe\""
check "uninstall entry knows the location" reg_is "$uninstall_key" InstallLocation 64 "$win_install_dir"

# A user's choice, which the uninstaller must leave alone.
run_wine reg add "$settings_key" /v ButtonSetup /t REG_DWORD /d 39 /f /reg:32

# Reinstall over a running utility: the installer ends it, replaces the files and succeeds.
check "utility starts from Program Files" start_utility
check "reinstall over the running utility exits 0" run_wine "$bin/OstinelSetup.exe" /S
check "reinstall ended the running utility" utility_ended
check "Ostinel.exe still installed" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"

# Uninstall while the utility runs. The uninstaller copies itself to the temporary directory and
# returns at once; the copy's last step removes the installation directory.
check "utility starts again" start_utility
check "silent uninstall starts" run_wine "$install_dir/Uninstall.exe" /S
uninstall_done() {
  local i
  for i in $(seq 1 300); do
    [ -e "$install_dir" ] || return 0
    sleep 0.1
  done
  return 1
}
check "installation directory removed" uninstall_done
check "uninstaller ended the running utility" utility_ended
check "Start-menu shortcut removed" test ! -e "$shortcut"
check "Run value removed" reg_missing "$run_key" Ostinel 64
check "uninstall entry removed" key_missing "$uninstall_key" 64
check "settings key kept" reg_is "$settings_key" ButtonSetup 32 0x27

echo "$(elapsed) $failures failed"
[ "$failures" = 0 ]
