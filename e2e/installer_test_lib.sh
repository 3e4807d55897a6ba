# Shared pieces of the installer tests (source it): a fresh copy of the template prefix with its
# own server, a check that counts failures, registry queries, running the setup and the package
# with their exit values, the installed products and the logon task, and starting and ending the
# installed utility. Every Wine program's output goes to a log file: Wine's helper processes would
# otherwise inherit ctest's pipe and keep it open.
# Before sourcing: root (the repository). After: prefix, log, check, failures, utility_pid.
# A test that runs the package sets new_msi (its Windows path) before using msi_* below.
source "$root/scripts/wine-lib.sh"
ostinel_wine_env
# No Linux desktop entries for the Start-menu shortcut.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

install_dir=
win_install_dir='C:\Program Files\Ostinel'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKLM\Software\Vemto\Brenlo'
session_manager='HKLM\System\CurrentControlSet\Control\Session Manager'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
setup_uninstall_key="$uninstall_root\Ostinel"
autostart_key='HKLM\Software\Vemto\Ostinel'
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
  rm -rf "$prefix" "$log" "$prefix.out" "$prefix.pid" "$prefix.msi.log" "$prefix.start.out" "${leftovers[@]}"
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
  msi_log=$prefix.msi.log
  task_file=$prefix/drive_c/windows/system32/tasks/Ostinel
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
# The administrative templates beside the program, as the build's central store holds them (the
# ADMX and each language's ADML: policy_templates holds the store to the language table).
templates_installed() {
  local f
  [ -f "$bin/PolicyDefinitions/Ostinel.admx" ] || { echo "no $bin/PolicyDefinitions"; return 1; }
  for f in $(cd "$bin/PolicyDefinitions" && find . -type f -printf "%P\n" | sort); do
    same_file "$install_dir/PolicyDefinitions/$f" "$bin/PolicyDefinitions/$f" || { echo "PolicyDefinitions/$f"; return 1; }
  done
}

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
# wait_until COMMAND...: up to 30 s for the command to succeed.
wait_until() {
  local i
  for i in $(seq 1 300); do
    "$@" && return 0
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
end_utility() { kill "$utility_pid" 2>/dev/null; utility_ended; }
# A restart of Windows: Wine's wineboot -r carries out the renames left for the next start.
restart() { wineboot -r </dev/null >>"$log" 2>&1; }

# ---- The setup and the package ------------------------------------------------------------------
# setup_exit_value SETUP [ARGUMENTS...]: runs a setup silently and prints its exit value (wine's own
# exit status keeps only its low byte). The arguments are written into a batch file: cmd would
# split /AUTOSTART=task at the "=".
setup_exit_value() {
  local setup=$1
  shift
  # (The redirection goes first: "echo 2>file" would redirect the error output.)
  printf '@start "" /wait "%s" /S %s\r\n@>C:\\setup-exit.txt echo %%ERRORLEVEL%%\r\n' "$(ostinel_winpath "$setup")" "$*" \
    >"$prefix/drive_c/setup-exit.bat"
  local attempt
  for attempt in 1 2; do
    rm -f "$prefix/drive_c/setup-exit.txt"
    # A question would wait for an answer: the time limit turns it into a failure.
    timeout 60 wine cmd /c 'C:\setup-exit.bat' </dev/null >"$prefix.start.out" 2>&1
    cat "$prefix.start.out" >>"$log"
    # Right after Wine's restart, cmd's start now and then fails before the setup runs at all.
    grep -q 'could not be started' "$prefix.start.out" || break
    sleep 1
  done
  tr -d '\r\n ' <"$prefix/drive_c/setup-exit.txt" 2>/dev/null
}
# exit_value_is VALUE SETUP [ARGUMENTS...]
exit_value_is() {
  local want=$1
  shift
  [ "$(setup_exit_value "$@")" = "$want" ]
}

# msiexec ARGUMENTS...: runs msiexec with a verbose log and waits; its whole exit value (Wine hands
# a Unix parent only the low 8 bits) is left in $msi_exit.
msiexec() {
  rm -f "$msi_log" "$prefix/drive_c/msi-exit.txt"
  printf '@msiexec %s /l*v "%s"\r\n@>C:\\msi-exit.txt echo %%ERRORLEVEL%%\r\n' "$*" "$(ostinel_winpath "$msi_log")" \
    >"$prefix/drive_c/msiexec.cmd"
  wine cmd /c 'C:\msiexec.cmd' </dev/null >>"$log" 2>&1
  msi_exit=$(tr -d '\r\n ' <"$prefix/drive_c/msi-exit.txt" 2>/dev/null)
}
exited() { [ "$msi_exit" = "$1" ]; }
# The package's log says it.
log_says() { grep -aqF "$1" "$msi_log"; }

# The display versions of every installed Ostinel, one a line (two installed products give two
# lines, whichever installers put them there).
installed_versions() {
  wine reg query "$uninstall_root" /s /reg:64 </dev/null 2>>"$log" | tr -d '\r' |
    awk '/^HKEY/ { if (name == "Ostinel") print version; name = ""; version = "" }
         $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
         END { if (name == "Ostinel") print version }' |
    sort
}
only_installed() { [ "$(installed_versions)" = "$1" ]; }

# ---- Start at logon -----------------------------------------------------------------------------
# The task is registered through the Task Scheduler. Wine keeps it at system32\tasks\Ostinel but
# writes back only part of the definition (no trigger, principal or command): those are checked in
# the definition the installer handed to schtasks, OstinelTask.xml beside the program. (Wine's copy
# always says IgnoreNew: it does not read MultipleInstancesPolicy.)
task_registered() {
  [ -f "$task_file" ] && grep -q '<ExecutionTimeLimit>PT0S<' "$task_file"
}
# no_definition_left [FOLDER]: the opener writes the task's definition to a file only
# administrators may open, in the Windows Temp folder, and deletes it once schtasks has read it:
# none is left there or in FOLDER (the install directory), where earlier versions kept it. (What
# the definition holds is tested with the opener's logic: Wine's task store keeps neither its
# trigger nor its principal nor its command, so it cannot be read back here.)
no_definition_left() {
  [ ! -e "${1:-$install_dir}/OstinelTask.xml" ] && ! compgen -G "$prefix/drive_c/windows/temp/OstinelTask-*" >/dev/null
}
no_task() { [ ! -e "$task_file" ]; }
# Started by the task, not by the Run value (and the choice kept for the next upgrade).
starts_by_task() {
  task_registered && no_definition_left && reg_missing "$run_key" Ostinel 64 &&
    reg_is "$autostart_key" AutoStart 64 task
}
# Started by the Run value alone.
starts_by_run_value() {
  reg_is "$run_key" Ostinel 64 "\"$win_install_dir\\Ostinel.exe\"" && no_task && reg_is "$autostart_key" AutoStart 64 run
}
