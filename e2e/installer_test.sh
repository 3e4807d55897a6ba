#!/usr/bin/env bash
# What ships, and OstinelSetup.exe under Wine in a fresh copy of the template prefix.
# Natively: every shipped file carries a valid signature; the programs are stripped and their
# symbol files turn a crash offset into a source line.
# Under Wine: a silent install of an older version (built here from the same script with a lower
# version); a silent upgrade while that version runs where the setup cannot end it (another
# desktop here, as another user's session or a setup running as SYSTEM on Windows); a silent
# reinstall over a utility it can end; then a silent uninstall that must end the running utility
# and remove everything but the users' settings. Then an uninstall and an install before the
# restart, with a copy running out of the uninstaller's reach; the logon task; and the package and
# the setup installed over each other, either way.
# Usage: installer_test.sh <directory of OstinelSetup.exe> <version> <makensis>
# The signatures are checked against build/windows/signing/test-root.pem, or the root that
# OSTINEL_SIGN_ROOT names when a release certificate signed the build.
set -u
usage="usage: installer_test.sh <bin directory> <version> <makensis>"
bin=$(cd "${1:?$usage}" && pwd)
version=${2:?$usage}
makensis=${3:?$usage}
build=$(dirname "$bin")
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/e2e/installer_test_lib.sh"
installer_test_begin ostinel-setup
leftovers+=("$prefix.old" "$prefix.old-setup.exe" "$prefix.tampered.exe" "$prefix.copy.exe" "$prefix.uninstall.exe")

shortcut=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Ostinel\ Settings.lnk
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostinel'

# ---- What ships (natively) ----------------------------------------------------------------------
sign_root=${OSTINEL_SIGN_ROOT:-$build/signing/test-root.pem}
signed() { osslsigncode verify -in "$1" -CAfile "$sign_root" >"$prefix.out" 2>&1; }
shipped=(Ostinel.exe OstinelSettings.exe OstinelSetup.exe)
[ -f "$bin/Ostinel.msi" ] && shipped+=(Ostinel.msi)
for f in "${shipped[@]}" ; do
  echo "size: $f $(stat -c %s "$bin/$f") bytes"
  check "$f signed, the signature verifies to the root" signed "$bin/$f"
done
# The check itself: one changed byte in the code must fail it.
cp "$bin/Ostinel.exe" "$prefix.tampered.exe"
printf '\x5a' | dd of="$prefix.tampered.exe" bs=1 seek=5000 conv=notrunc status=none
not_signed() { ! signed "$1"; }
check "a changed byte breaks the signature" not_signed "$prefix.tampered.exe"

# A crash in the event log gives the module's fault offset; the image base plus that offset is the
# address the symbol file knows. The address of wWinMain stands in for a crash address.
objdump=x86_64-w64-mingw32-objdump
for f in Ostinel OstinelSettings; do
  echo "size: symbols/$f.debug $(stat -c %s "$build/symbols/$f.debug") bytes"
done
stripped_with_debuglink() {
  local exe=$bin/$1.exe debug=$build/symbols/$1.debug
  # No symbol table and no debug sections in the program; its debug link names the symbol file
  # and carries that file's CRC32.
  x86_64-w64-mingw32-nm "$exe" 2>&1 | grep -q 'no symbols' || return 1
  ! $objdump -h "$exe" | grep -q ' \.debug_' || return 1
  x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$prefix.out" "$exe" "$prefix.copy.exe" || return 1
  python3 -c '
import sys, zlib
raw = open(sys.argv[1], "rb").read()
name, crc = raw.split(b"\0")[0].decode(), int.from_bytes(raw[-4:], "little")
sys.exit(not (name == sys.argv[3] and crc == zlib.crc32(open(sys.argv[2], "rb").read())))' "$prefix.out" "$debug" "$1.debug"
}
offset_maps_to_line() {
  local debug=$build/symbols/$1.debug exe=$bin/$1.exe source=$2
  local symbol image_base offset
  symbol=$(x86_64-w64-mingw32-nm "$debug" | awk '$3 == "wWinMain" {print $1}')
  image_base=$($objdump -p "$exe" | awk '$1 == "ImageBase" {print $2}')
  [ -n "$symbol" ] && [ -n "$image_base" ] || return 1
  offset=$((0x$symbol - 0x$image_base + 0x10))
  x86_64-w64-mingw32-addr2line -e "$debug" "$(printf '0x%x' $((0x$image_base + offset)))" | grep -Eq "/$source:[0-9]+"
}
for f in Ostinel OstinelSettings; do
  check "$f.exe stripped, its debug link names symbols/$f.debug" stripped_with_debuglink $f
done
check "Ostinel.exe: crash offset to source line" offset_maps_to_line Ostinel app/main.cpp
check "OstinelSettings.exe: crash offset to source line" \
  offset_maps_to_line OstinelSettings settings_opener/opener_main.cpp

# ---- Install, upgrade while running, uninstall (under Wine) ------------------------------------

# The file is named in PendingFileRenameOperations with an empty new name: deleted at the restart.
# (reg shows the strings joined by \0; a rename would be followed by its new name.)
pending_delete() {
  wine reg query "$session_manager" /v PendingFileRenameOperations </dev/null >"$prefix.out" 2>>"$log" || return 1
  local line
  line=$(tr -d '\r' <"$prefix.out" | sed -n 's/^ *PendingFileRenameOperations *REG_MULTI_SZ *//p')
  [[ "$line\0" == *"\\??\\$1\\0\\0"* ]]
}

# Wine's icacls does nothing, so a stand-in (tools/record_command) takes its place, records the
# setup's calls and fails when asked to.
# The silent setup's log (%TEMP%\OstinelSetup.log) says it.
setup_log_says() {
  local f
  f=$(find "$prefix/drive_c/users" -name OstinelSetup.log | head -n 1)
  [ -n "$f" ] && iconv -f UTF-16 -t UTF-8 "$f" | grep -qF "$1"
}
icacls_calls=$prefix.icacls
leftovers+=("$icacls_calls")
cp "$bin/RecordCommand.exe" "$prefix/drive_c/windows/system32/icacls.exe"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;icacls.exe=n" OSTINEL_RECORD_FILE
OSTINEL_RECORD_FILE=$(ostinel_winpath "$icacls_calls")
# What the setup asks of icacls once the last file is in (the folder itself got its permissions
# from the opener before anything went in), at every install, upgrade and repair.
folder_owned_by_setup() {
  local run="\"C:\\windows\\system32\\icacls.exe\" \"${1:-C:\\Program Files\\Ostinel}"
  [ "$(cat "$icacls_calls")" = "$run\" /setowner *S-1-5-32-544 /T /C /Q
$run\\*\" /reset /T /C /Q" ] && rm -f "$icacls_calls"
}

# ---- Only a folder of its own ---------------------------------------------------------------------
# /D= as an administrator types it, unquoted at the end of the command line. A drive's root,
# Program Files itself and a folder that holds another program's file are refused before anything
# changes: exit value 2, the log says why, nothing laid there, no permission command run on them
# (icacls not called; the opener's lock would change the folder's mode under Wine).
other_dir=$prefix/drive_c/Tools
mkdir -p "$other_dir"
printf 'another program' >"$other_dir/tool.cfg"
unchanged_state() { stat -c '%a %U' "$prefix/drive_c" "$prefix/drive_c/Program Files" "$other_dir"; ls -A "$prefix/drive_c/Program Files" "$other_dir"; }
before=$(unchanged_state)
refused_untouched() {
  [ ! -e "$icacls_calls" ] && [ "$(unchanged_state)" = "$before" ] && [ "$(cat "$other_dir/tool.cfg")" = 'another program' ] &&
    [ ! -e "$prefix/drive_c/Ostinel.exe" ] && [ ! -e "$prefix/drive_c/Program Files/Ostinel.exe" ] &&
    [ ! -e "$other_dir/Ostinel.exe" ] && key_missing "$uninstall_key" 64
}
check "/D=C:\\Tools, which holds another program's file: exit value 2" exit_value_is 2 "$bin/OstinelSetup.exe" '/D=C:\Tools'
check "the silent setup's log says why" setup_log_says 'Ostinel was not installed: C:\Tools holds tool.cfg, which is not Ostinel'"'"'s'
check "/D=C:\\ (a drive's root): exit value 2" exit_value_is 2 "$bin/OstinelSetup.exe" '/D=C:\'
check "the silent setup's log says why" setup_log_says "C:\\ is a drive's root, not a folder of its own"
check "/D=C:\\Program Files (Program Files itself): exit value 2" exit_value_is 2 "$bin/OstinelSetup.exe" '/D=C:\Program Files'
check "the silent setup's log says why" setup_log_says 'C:\Program Files holds '
check "all three left as they were: no file laid, no permission changed" refused_untouched

# An empty folder is taken. Its files given to Administrators failing stops the setup (exit value 2,
# the log says why); run again, the folder now holds that install, which it takes.
empty_dir=$prefix/drive_c/Empty
mkdir -p "$empty_dir"
OSTINEL_RECORD_EXIT=5 check "an empty folder, its files' owner not set: exit value 2" \
  exit_value_is 2 "$bin/OstinelSetup.exe" '/D=C:\Empty'
check "the silent setup's log says why" setup_log_says 'The files in C:\Empty could not be given to the Administrators group'
rm -f "$icacls_calls"
check "that folder again, an earlier install's: exit value 0" exit_value_is 0 "$bin/OstinelSetup.exe" '/D=C:\Empty'
check "its files given to Administrators" folder_owned_by_setup 'C:\Empty'
check "Ostinel.exe installed there" same_file "$empty_dir/Ostinel.exe" "$bin/Ostinel.exe"
run_wine "$empty_dir/Uninstall.exe" /S
check "its uninstall removes it" wait_until eval 'key_missing "$uninstall_key" 64 && [ ! -e "$empty_dir" ]'
rm -f "$icacls_calls"

# An older version: the same programs, the utility's file told apart by a trailing mark.
mkdir -p "$prefix.old"
cp "$bin/OstinelSettings.exe" "$prefix.old/"
{ cat "$bin/Ostinel.exe"; printf 'older build'; } >"$prefix.old/Ostinel.exe"
"$makensis" -V1 -WX -INPUTCHARSET UTF8 -DBIN_DIR="$prefix.old" -DOUT_FILE="$prefix.old-setup.exe" -DVERSION=1.0.0 \
  "$root/installer/ostinel.nsi" >>"$log" 2>&1 || echo "could not build the older setup"
check "older setup installs silently, exit value 0" exit_value_is 0 "$prefix.old-setup.exe"
check "uninstall entry of the older version" reg_is "$uninstall_key" DisplayVersion 64 1.0.0
check "its files given to Administrators" folder_owned_by_setup
# The opener made the new folder with its permissions (Wine gives a folder whose list grants
# Everyone nothing no access for others; one the setup made itself would have the usual 755).
created_locked() { [[ "$(stat -c %a "$install_dir")" == *0 ]]; }
check "its folder created with its permissions" created_locked

check "older utility runs where the setup cannot end it" start_utility_elsewhere
check "silent upgrade asks nothing, exit value 3010 (a restart finishes it)" exit_value_is 3010 "$bin/OstinelSetup.exe"
check "the upgrade gave them to Administrators again" folder_owned_by_setup
check "older utility still runs" utility_running
check "Ostinel.exe installed" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
check "running old file renamed aside" same_file "$install_dir/Ostinel.exe.1.old" "$prefix.old/Ostinel.exe"
check "old file deleted at the next restart" pending_delete "$win_install_dir\Ostinel.exe.1.old"
check "OstinelSettings.exe installed" same_file "$install_dir/OstinelSettings.exe" "$bin/OstinelSettings.exe"
check "administrative templates in PolicyDefinitions" templates_installed
check "uninstaller written" test -f "$install_dir/Uninstall.exe"
check "all-users Start-menu shortcut to the opener" shortcut_names_opener
check "Run value starts the utility at logon" reg_is "$run_key" Ostinel 64 "\"$win_install_dir\\Ostinel.exe\""
check "settings key in the 32-bit view" reg_query "$settings_key" "" 32
check "no settings key in the 64-bit view" key_missing "$settings_key" 64
check "uninstall entry named Ostinel" reg_is "$uninstall_key" DisplayName 64 Ostinel
check "uninstall entry runs the uninstaller" \
  reg_is "$uninstall_key" UninstallString 64 "\"$win_install_dir\\Uninstall.exe\""
check "uninstall entry knows the location" reg_is "$uninstall_key" InstallLocation 64 "$win_install_dir"
entry_has_version() {
  local major=${version%%.*} minor=${version#*.}
  minor=${minor%%.*}
  reg_is "$uninstall_key" DisplayVersion 64 "$version" &&
    reg_is "$uninstall_key" VersionMajor 64 "$(printf '0x%x' "$major")" &&
    reg_is "$uninstall_key" VersionMinor 64 "$(printf '0x%x' "$minor")"
}
check "uninstall entry has the new version" entry_has_version
check "uninstall entry names the publisher" reg_is "$uninstall_key" Publisher 64 Vemto
check "uninstall entry shows the utility's icon" reg_is "$uninstall_key" DisplayIcon 64 "\"$win_install_dir\Ostinel.exe\",0"
programs_kib() {
  local bytes
  bytes=$(cat "$install_dir"/*.exe | wc -c)
  local kib=$((bytes / 1024)) got
  got=$(($(reg_query "$uninstall_key" EstimatedSize 64)))
  [ "$got" -ge $((kib - 1)) ] && [ "$got" -le $((kib + 1)) ] || { echo "EstimatedSize $got, programs $kib KiB"; return 1; }
}
check "uninstall entry's estimated size is the programs' (KiB)" programs_kib
check "installed uninstaller signed" signed "$install_dir/Uninstall.exe"
check "event log source registered, Ostinel.exe its message file" event_source_registered

# The restart: the old copy ends, and Wine's boot carries out the pending delete.
kill "$utility_pid" 2>/dev/null
restart_deletes_old_file() {
  local i
  for i in $(seq 1 50); do utility_running || break; sleep 0.1; done
  wineboot -r </dev/null >>"$log" 2>&1
  [ ! -e "$install_dir/Ostinel.exe.1.old" ] && [ -e "$install_dir/Ostinel.exe" ]
}
check "the restart deletes the old file" restart_deletes_old_file

# A user's choice, which the uninstaller must leave alone.
run_wine reg add "$settings_key" /v ButtonSetup /t REG_DWORD /d 39 /f /reg:32

# Reinstall over a running utility: the installer ends it, replaces the files and succeeds.
check "utility starts from Program Files" start_utility
check "reinstall over a utility it can end: exit value 0" exit_value_is 0 "$bin/OstinelSetup.exe"
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
check "event log source removed" key_missing "$event_source_key" 64
check "uninstall entry removed" key_missing "$uninstall_key" 64
check "settings key kept" reg_is "$settings_key" ButtonSetup 32 0x27

# ---- Uninstall, then install, before a restart -------------------------------------------------
# The uninstaller cannot end a copy out of its reach: it renames the file aside and leaves only that
# name for the restart, which must not delete what the next install puts in place.
check "setup installs again" exit_value_is 0 "$bin/OstinelSetup.exe"
check "utility runs where the uninstaller cannot end it" start_utility_elsewhere
run_wine "$install_dir/Uninstall.exe" /S
check "silent uninstall done" wait_until key_missing "$uninstall_key" 64
check "running file renamed aside" same_file "$install_dir/Ostinel.exe.1.old" "$bin/Ostinel.exe"
only_renamed_file_pending() {
  pending_delete "$win_install_dir\Ostinel.exe.1.old" && ! pending_delete "$win_install_dir\Ostinel.exe"
}
check "only the renamed file is deleted at the restart" only_renamed_file_pending
check "silent install before the restart: exit value 0" exit_value_is 0 "$bin/OstinelSetup.exe"
end_utility
restart
check "after the restart: the new Ostinel.exe" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
check "after the restart: the administrative templates" templates_installed
check "after the restart: its Run value" starts_by_run_value
check "after the restart: one uninstall entry" only_installed "$version"
check "after the restart: the renamed file is gone" test ! -e "$install_dir/Ostinel.exe.1.old"

# ---- Start at logon by a task --------------------------------------------------------------------
check "/AUTOSTART=task over the Run value: exit value 0" exit_value_is 0 "$bin/OstinelSetup.exe" /AUTOSTART=task
check "started by the task, the Run value removed" starts_by_task
check "a wrong /AUTOSTART stops the setup: exit value 2" exit_value_is 2 "$bin/OstinelSetup.exe" /AUTOSTART=login
check "the silent setup's log says why" setup_log_says "/AUTOSTART=login is not a way to start Ostinel"
check "the refused setup left the task" starts_by_task

# ---- The package over the setup, the setup over the package -----------------------------------
# Either removes the other first, silently; the settings and the chosen start at logon stay.
if [ -f "$bin/Ostinel.msi" ]; then
  new_msi=$(ostinel_winpath "$bin/Ostinel.msi")
  one_product() { only_installed "$version" && "$@"; }
  # The package that cannot remove the setup fails, and the setup stays as it was: still listed
  # alone, its files and its choice of the task in place, nothing of the package installed.
  setup_untouched() {
    one_product reg_is "$uninstall_key" DisplayName 64 Ostinel && same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe" &&
      no_definition_left && reg_missing "$run_key" Ostinel 64 &&
      reg_is "$autostart_key" AutoStart 64 task
  }
  mv "$install_dir/Uninstall.exe" "$prefix.uninstall.exe"
  msiexec /i "$new_msi" /qn
  check "setup's uninstaller missing: the package refuses (1603)" exited 1603
  check "the log says why" log_says "its uninstaller $win_install_dir\Uninstall.exe is missing"
  check "the setup stays, nothing of the package installed" setup_untouched
  check "the setup's task stays registered" task_registered
  # An uninstaller that fails (the opener, which ends with 2 on these arguments): the removal, run
  # inside the package's installation, fails it, and the setup stays listed alone. Windows ends
  # such an install with 1603 and rolls back only what had run (nothing: the removal is the first
  # step). Wine 8 returns the action's 1627 and runs the undo of every step the sequence holds, run
  # or not: it deletes the setup's files, its task and its AutoStart value (same paths as the
  # package's). So only the listing is checked here, and the setup is installed again after.
  msi_failed() { [ -n "$msi_exit" ] && [ "$msi_exit" != 0 ] && [ "$msi_exit" != 3010 ]; }
  cp "$bin/OstinelSettings.exe" "$install_dir/Uninstall.exe"
  msiexec /i "$new_msi" /qn
  check "setup's uninstaller fails: the install fails (1603, 1627 under Wine)" msi_failed
  check "the setup still listed alone, the package not installed" one_product reg_is "$uninstall_key" DisplayName 64 Ostinel
  mv -f "$prefix.uninstall.exe" "$install_dir/Uninstall.exe"
  check "the setup again, /AUTOSTART=task" exit_value_is 0 "$bin/OstinelSetup.exe" /AUTOSTART=task

  msiexec /i "$new_msi" /qn
  check "package over the setup: exit value 0" exited 0
  check "one product listed, the package's" one_product key_missing "$uninstall_key" 64
  check "the setup's uninstaller removed with it" test ! -e "$install_dir/Uninstall.exe"
  check "Ostinel.exe in place" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
  check "still started by the task (as installed)" starts_by_task
  check "the package's administrative templates" templates_installed
  check "settings kept" reg_is "$settings_key" ButtonSetup 32 0x27

  check "setup over the package: exit value 0" exit_value_is 0 "$bin/OstinelSetup.exe"
  check "one product listed, the setup's" one_product reg_is "$uninstall_key" DisplayName 64 Ostinel
  check "Ostinel.exe in place" same_file "$install_dir/Ostinel.exe" "$bin/Ostinel.exe"
  check "still started by the task (as installed)" starts_by_task
  check "the setup's administrative templates" templates_installed
  check "settings kept" reg_is "$settings_key" ButtonSetup 32 0x27
fi

run_wine "$install_dir/Uninstall.exe" /S
check "uninstall done" wait_until key_missing "$uninstall_key" 64
check "uninstall removed the task" no_task
check "nothing listed" only_installed ""

# A folder with a blank and an "&": the opener registers the task from there.
kiosk='C:\Kiosk & Co\Ostinel'
kiosk_dir="$prefix/drive_c/Kiosk & Co/Ostinel"
# The folder above it must exist (and only administrators may change it).
mkdir -p "$prefix/drive_c/Kiosk & Co"
check "/AUTOSTART=task into a folder with a blank and &: exit value 0" \
  exit_value_is 0 "$bin/OstinelSetup.exe" /AUTOSTART=task "/D=${kiosk//&/^&}"
check "the task registered there, its definition left nowhere" \
  eval 'task_registered && no_definition_left "$kiosk_dir"'
run_wine "$kiosk_dir/Uninstall.exe" /S
check "its uninstall removes the task and the folder" \
  wait_until eval 'key_missing "$uninstall_key" 64 && no_task && [ ! -e "$kiosk_dir" ]'

# A package registered under the upgrade code that msiexec cannot remove (1605 here): the setup
# installs nothing, exits with 2 and its log says why.
packed_guid() {
  python3 -c '
import sys
h = sys.argv[1].strip("{}").replace("-", "")
print(h[7::-1] + h[11:7:-1] + h[15:11:-1] + "".join(h[i + 1] + h[i] for i in range(16, 32, 2)))' "$1"
}
stuck_product={$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)}
upgrade_codes='HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\UpgradeCodes'
run_wine reg add "$upgrade_codes\\$(packed_guid "$(cat "$root/installer/msi_upgrade_code.txt")")" \
  /v "$(packed_guid "$stuck_product")" /d "" /f
check "a package it cannot remove stops the setup: exit value 2" exit_value_is 2 "$bin/OstinelSetup.exe"
check "the silent setup's log says why" setup_log_says "Ostinel installed by Ostinel.msi ($stuck_product) could not be removed"
check "nothing installed" test ! -e "$install_dir/Ostinel.exe"

installer_test_end
