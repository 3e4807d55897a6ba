#!/usr/bin/env bash
# Ostinel.msi under Wine, in a fresh copy of the template prefix: refused presets, a first install
# of an older package with presets, a silent upgrade while the old utility runs where the installer
# cannot end it, a refused downgrade, a repair, a same-version rebuild over the running utility, an
# uninstall that ends the running utility and keeps the settings, a custom folder kept by an upgrade
# with the UI sequence, and a failed uninstall that puts the logon task back.
# Usage: msi_test.sh <directory of Ostinel.msi> <older package> <version> <older version>
# The older package carries the test build of the utility (OstinelFaults.exe) as its Ostinel.exe,
# so the files show which version is installed.
set -u
bin=$(cd "${1:?usage: msi_test.sh <bin directory> <older msi> <version> <older version>}" && pwd)
older_msi=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$3
older_version=$4
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/e2e/installer_test_lib.sh"
installer_test_begin ostinel-msi
new_msi=$(ostinel_winpath "$bin/Ostinel.msi")
old_msi=$(ostinel_winpath "$older_msi")

settings_are() { reg_is "$settings_key" ButtonSetup 32 "$1" && reg_is "$settings_key" WaitTime 32 "$2"; }

nothing_installed() { [ ! -e "$install_dir" ] && [ -z "$(installed_versions)" ]; }

# The Start-menu folder the package resolved (Wine 8 gives the installing user's even for a
# per-machine install; Windows gives the all-users one), from the install's log.
shortcut=
find_shortcut() {
  local folder
  folder=$(tr -d '\r' <"$msi_log" | sed -n 's/^Property(S): ProgramMenuFolder = //p' | tail -n 1)
  [ -n "$folder" ] || return 1
  shortcut=$prefix/drive_c/$(printf '%s' "${folder#C:\\}" | tr '\\' '/')Ostinel\ Settings.lnk
}

rename_pending() { reg_query "$session_manager" PendingFileRenameOperations 64 | grep -q 'Ostinel\\Ostinel\.exe'; }

# The value of a property in the package's Property table.
package_property() {
  msiinfo export "$bin/Ostinel.msi" Property | tr -d '\r' | awk -F '\t' -v name="$1" '$1 == name { print $2 }'
}
is_x64_package() { msiinfo suminfo "$bin/Ostinel.msi" | grep -q '^Template: x64;'; }

echo "package: $(stat -c %s "$bin/Ostinel.msi") bytes"
check "package is x64" is_x64_package
check "package is per-machine" eval '[ "$(package_property ALLUSERS)" = 1 ]'
check "package version is the project's" eval '[ "$(package_property ProductVersion)" = "$version" ]'

# Presets the settings dialog could not make, and a start at logon there is not: nothing
# installed, nothing written.
msiexec /i "$new_msi" /qn BUTTONSETUP=20
check "both right-click methods refused (1603)" exited 1603
check "the log names the refused BUTTONSETUP" log_says "BUTTONSETUP=20 is not a setting the settings dialog can make"
msiexec /i "$new_msi" /qn BUTTONSETUP=64 WAITTIME=150
check "a seventh bit refused" exited 1603
msiexec /i "$new_msi" /qn BUTTONSETUP=abc
check "a word that is no number refused" exited 1603
msiexec /i "$new_msi" /qn WAITTIME=49
check "hold time below 50 refused" exited 1603
check "the log names the refused WAITTIME" log_says "WAITTIME=49 is not a hold time the settings dialog can make"
msiexec /i "$new_msi" /qn BUTTONSETUP=27 WAITTIME=501
check "hold time above 500 refused, with a valid word" exited 1603
msiexec /i "$new_msi" /qn AUTOSTART=login
check "a wrong AUTOSTART refused (1603)" exited 1603
check "the log names the refused AUTOSTART" log_says "AUTOSTART=login is not a way to start Ostinel"
check "refused presets installed nothing" nothing_installed
check "refused presets wrote no settings" key_missing "$settings_key" 32

# Only a folder of its own: a drive's root, Program Files itself and a folder that holds another
# program's file are refused (1603, the log says why) and left as they were (no file laid; the
# lock would change the folder's mode under Wine). An empty folder is taken.
other_dir=$prefix/drive_c/Tools
mkdir -p "$other_dir"
printf 'another program' >"$other_dir/tool.cfg"
folders_state() { stat -c '%a %U' "$prefix/drive_c" "$prefix/drive_c/Program Files" "$other_dir"; ls -A "$prefix/drive_c" "$prefix/drive_c/Program Files" "$other_dir"; }
before=$(folders_state)
msiexec /i "$new_msi" /qn 'INSTALLDIR=C:\Tools'
check "INSTALLDIR=C:\\Tools, which holds another program's file, refused (1603)" exited 1603
check "the log says why" log_says 'INSTALLDIR=C:\Tools is not a folder Ostinel may be installed in: C:\Tools holds tool.cfg'
msiexec /i "$new_msi" /qn 'INSTALLDIR=C:\'
check "INSTALLDIR=C:\\ (a drive's root) refused (1603)" exited 1603
check "the log says why" log_says "C:\\ is a drive's root, not a folder of its own"
msiexec /i "$new_msi" /qn 'INSTALLDIR="C:\Program Files"'
check "INSTALLDIR=C:\\Program Files (Program Files itself) refused (1603)" exited 1603
check "the log says why" log_says 'INSTALLDIR=C:\Program Files is not a folder Ostinel may be installed in: C:\Program Files holds '
check "all three left as they were, nothing installed" \
  eval '[ "$(folders_state)" = "$before" ] && [ "$(cat "$other_dir/tool.cfg")" = "another program" ] && [ -z "$(installed_versions)" ]'
rm -rf "$other_dir"
# A new folder needs every folder above it, and none that others could change (rename it, put
# another in its place): refused, nothing made.
msiexec /i "$new_msi" /qn 'INSTALLDIR=C:\Missing\Ostinel'
check "a folder above it missing: refused (1603)" eval 'exited 1603 && log_says "C:\Missing does not exist"'
mkdir -p "$prefix/drive_c/Open"
chmod o+w "$prefix/drive_c/Open"
msiexec /i "$new_msi" /qn 'INSTALLDIR=C:\Open\Ostinel'
check "a folder above it others could change: refused (1603)" eval 'exited 1603 &&
  log_says "someone other than an administrator could rename or replace C:\Open\Ostinel (C:\Open: Everyone (S-1-1-0) can change it"'
check "neither made" eval '[ ! -e "$prefix/drive_c/Missing" ] && [ ! -e "$prefix/drive_c/Open/Ostinel" ]'
rm -rf "$prefix/drive_c/Open"
mkdir -p "$prefix/drive_c/Empty"
msiexec /i "$new_msi" /qn 'INSTALLDIR=C:\Empty'
check "an empty folder taken: exit value 0" eval 'exited 0 && same_file "$prefix/drive_c/Empty/Ostinel.exe" "$bin/Ostinel.exe"'
msiexec /x "$new_msi" /qn
check "its uninstall exits 0" eval 'exited 0 && [ -z "$(installed_versions)" ]'

# First install, of the older version, with presets and the logon task (in any case).
msiexec /i "$old_msi" /qn BUTTONSETUP=27 WAITTIME=150 AUTOSTART=Task
check "first install with presets exits 0" exited 0
check "Ostinel.exe installed" same_file "$install_dir/Ostinel.exe" "$bin/OstinelFaults.exe"
check "OstinelSettings.exe installed" same_file "$install_dir/OstinelSettings.exe" "$bin/OstinelSettings.exe"
check "administrative templates in PolicyDefinitions" templates_installed
check "Start-menu shortcut to the opener" eval 'find_shortcut && shortcut_names_opener'
check "the logon task registered, no Run value" starts_by_task
check "event log source registered, Ostinel.exe its message file" event_source_registered
check "presets written in the 32-bit view" settings_are 0x1b 0x96
check "no settings key in the 64-bit view" key_missing "$settings_key" 64
check "installed as the older version" only_installed "$older_version"

# A user's choice since, which no later step may change.
wine reg add "$settings_key" /v ButtonSetup /t REG_DWORD /d 39 /f /reg:32 </dev/null >>"$log" 2>&1

# Upgrade while the old utility runs where the installer cannot end it: its file is replaced at
# the next restart, and the exit value says so. The upgrade takes the start at logon it is given.
check "old utility runs on another desktop" start_utility_elsewhere
msiexec /i "$new_msi" /qn BUTTONSETUP=1 WAITTIME=60 AUTOSTART=run
check "upgrade over the unseen running utility exits 3010" exited 3010
check "one Ostinel installed, the new version" only_installed "$version"
check "upgrade kept the user's settings, ignored the presets" settings_are 0x27 0x96
check "upgrade to AUTOSTART=run: the Run value, the task removed" starts_by_run_value
check "old utility still runs" utility_running
check "replacement of Ostinel.exe left for the restart" rename_pending
check "OstinelSettings.exe replaced at once" same_file "$install_dir/OstinelSettings.exe" "$bin/OstinelSettings.exe"
check "old utility ends with the session" end_utility
restart
check "after the restart the new Ostinel.exe is in place" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
check "Run value still starts the utility" reg_is "$run_key" Ostinel 64 "\"$win_install_dir\\Ostinel.exe\""

msiexec /i "$old_msi" /qn
check "downgrade refused (1603)" exited 1603
check "the new version stays" only_installed "$version"

# Repair from the package (Wine's msiexec /f does not take a package): a deleted file comes back.
rm -f "$install_dir/OstinelSettings.exe"
msiexec /i "$new_msi" /qn REINSTALL=ALL REINSTALLMODE=vomus BUTTONSETUP=1 WAITTIME=60
check "repair exits 0" exited 0
check "repair restored a deleted file" same_file "$install_dir/OstinelSettings.exe" "$bin/OstinelSettings.exe"
check "repair kept the user's settings" settings_are 0x27 0x96

# A rebuild of the same version (a product code of its own) while the utility runs where the
# installer sees it: the installed build is removed first, its uninstall ends the utility, and the
# files go in at once.
rebuild=$prefix/drive_c/Ostinel-rebuild.msi
cp "$bin/Ostinel.msi" "$rebuild"
msibuild "$rebuild" -s Ostinel Vemto "x64;1033" "{$(cat /proc/sys/kernel/random/uuid)}" >>"$log" 2>&1
msibuild "$rebuild" -q "UPDATE Property SET Value = '{$(cat /proc/sys/kernel/random/uuid)}' WHERE Property = 'ProductCode'" \
  >>"$log" 2>&1
check "utility starts from Program Files" start_utility
msiexec /i 'C:\Ostinel-rebuild.msi' /qn
check "same-version rebuild over the running utility exits 0" exited 0
check "the old build's uninstall ended the utility" utility_ended
check "one Ostinel installed after the rebuild" only_installed "$version"
check "Ostinel.exe in place at once" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"

# Uninstall while the utility runs where the installer sees it: it is ended, all is removed but
# the settings.
check "utility starts again" start_utility
msiexec /x 'C:\Ostinel-rebuild.msi' /qn
check "silent uninstall exits 0" exited 0
check "uninstall ended the running utility" utility_ended
check "installation directory removed" test ! -e "$install_dir"
check "Start-menu shortcut removed" test ! -e "$shortcut"
check "Run value removed" reg_missing "$run_key" Ostinel 64
check "event log source removed" key_missing "$event_source_key" 64
check "no Ostinel installed" nothing_installed
check "settings kept" settings_are 0x27 0x96

# Into a folder with a blank and an "&", with the logon task: the opener registers it from there;
# an upgrade keeps both; uninstall removes the task and the folder.
kiosk='C:\Kiosk & Co\Ostinel'
kiosk_dir="$prefix/drive_c/Kiosk & Co/Ostinel"
# The folder above it must exist (and only administrators may change it).
mkdir -p "$prefix/drive_c/Kiosk & Co"
msiexec /i "$new_msi" /qn AUTOSTART=task "INSTALLDIR=\"$kiosk\""
check "install into a folder with a blank and & exits 0" exited 0
check "Ostinel.exe installed there" same_file "$kiosk_dir/Ostinel.exe" "$bin/Ostinel.exe"
check "the task registered there, its definition left nowhere" \
  eval 'task_registered && no_definition_left "$kiosk_dir"'
# An upgrade started by a double-click runs the UI sequence first (/qr: it, without dialogs; /qb
# skips it), whose costing hands its folder to the installation: it keeps the folder and the task.
msiexec /i 'C:\Ostinel-rebuild.msi' /qr
check "upgrade with the UI sequence exits 0" exited 0
check "it kept the folder, nothing in Program Files" \
  eval 'same_file "$kiosk_dir/Ostinel.exe" "$bin/Ostinel.exe" && [ ! -e "$install_dir" ]'
check "it kept the task, its definition left nowhere" \
  eval 'task_registered && no_definition_left "$kiosk_dir"'
msiexec /x 'C:\Ostinel-rebuild.msi' /qn
check "its uninstall exits 0" exited 0
check "its uninstall removes the task and the folder" eval 'no_task && [ ! -e "$kiosk_dir" ]'

# An uninstall that fails after the task was deleted (a deferred action of a copy of the package
# fails when asked to): its rollback registers the task again; a later uninstall removes it.
failing=$prefix/drive_c/Ostinel-failing.msi
cp "$bin/Ostinel.msi" "$failing"
msibuild "$failing" -q "INSERT INTO CustomAction (Action, Type, Source, Target) \
  VALUES ('FailUninstall', 3106, 'System64Folder', '[System64Folder]cmd.exe /c exit 1')" >>"$log" 2>&1
msibuild "$failing" -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) \
  VALUES ('FailUninstall', 'REMOVE~=\"ALL\" AND FAILUNINSTALL', 3103)" >>"$log" 2>&1
msiexec /i 'C:\Ostinel-failing.msi' /qn AUTOSTART=task
check "install with the task exits 0" exited 0
msiexec /x 'C:\Ostinel-failing.msi' /qn FAILUNINSTALL=1
# (Wine's rollback does not put back the product's registration: only its files are checked.)
check "a failed uninstall leaves Ostinel's files" eval '! exited 0 && [ -e "$install_dir/Ostinel.exe" ]'
check "its rollback registered the task again" \
  eval 'task_registered && no_definition_left'
msiexec /x 'C:\Ostinel-failing.msi' /qn
check "the next uninstall removes the task and the folder" \
  eval 'exited 0 && no_task && [ ! -e "$install_dir" ]'

# A setup's uninstall entry whose uninstaller is gone: the package cannot remove it, so it refuses
# before it changes anything, and its log says why.
wine reg add "$setup_uninstall_key" /v DisplayName /d Ostinel /f /reg:64 </dev/null >>"$log" 2>&1
wine reg add "$setup_uninstall_key" /v InstallLocation /d "$win_install_dir" /f /reg:64 </dev/null >>"$log" 2>&1
mkdir -p "$install_dir"
msiexec /i "$new_msi" /qn
check "a setup it cannot remove stops the package (1603)" exited 1603
check "the log says why" log_says "its uninstaller $win_install_dir\Uninstall.exe is missing"
check "the setup still listed, nothing installed beside it" \
  eval 'reg_is "$setup_uninstall_key" DisplayName 64 Ostinel && [ ! -e "$install_dir/Ostinel.exe" ]'

# Its uninstaller in a folder that others can write (Wine derives a folder's access list from its
# mode: o+w gives Everyone write): refused before anything runs, the uninstaller not started.
tools_dir=$prefix/drive_c/Tools/Ostinel
mkdir -p "$tools_dir"
printf 'not a program' >"$tools_dir/Uninstall.exe"
chmod o+w "$tools_dir"
wine reg add "$setup_uninstall_key" /v InstallLocation /d 'C:\Tools\Ostinel' /f /reg:64 </dev/null >>"$log" 2>&1
msiexec /i "$new_msi" /qn
check "an uninstaller others could change stops the package (1603)" exited 1603
check "the log says why" log_says \
  "someone other than an administrator could have changed it (C:\Tools\Ostinel: Everyone (S-1-1-0) can change it"
# A folder above it that others can change (rename the folder, put another in its place) is refused
# too: only the rights that replace what it holds count there.
chmod o-w "$tools_dir"
chmod o+w "$prefix/drive_c/Tools"
msiexec /i "$new_msi" /qn
check "so is one whose parent folder others could change" eval 'exited 1603 &&
  log_says "(C:\Tools: Everyone (S-1-1-0) can change it (delete what it holds, delete))"'
# The same folders, locked, reached through a link (Wine shows a Unix symbolic link as a reparse
# point): the link is refused, whatever the list of its target.
chmod o-w "$prefix/drive_c/Tools"
ln -s "$prefix/drive_c/Tools" "$prefix/drive_c/Linked"
wine reg add "$setup_uninstall_key" /v InstallLocation /d 'C:\Linked\Ostinel' /f /reg:64 </dev/null >>"$log" 2>&1
msiexec /i "$new_msi" /qn
check "so is one reached through a symbolic link" eval 'exited 1603 &&
  log_says "(C:\Linked: it is a junction or symbolic link (a reparse point), which leads elsewhere)"'
check "the setup still listed, nothing installed" \
  eval 'reg_is "$setup_uninstall_key" DisplayName 64 Ostinel && [ ! -e "$install_dir/Ostinel.exe" ] && [ -e "$tools_dir/Uninstall.exe" ]'

installer_test_end
