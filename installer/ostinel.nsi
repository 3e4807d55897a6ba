; Installer of Ostinel: the touch-feedback utility and its settings opener, for every user of a
; 64-bit Windows. Built by the windows build (target OstinelSetup); by hand:
;   makensis -INPUTCHARSET UTF8 -DBIN_DIR=<dir with Ostinel.exe and OstinelSettings.exe> \
;            [-DOUT_FILE=...] [-DAPP_ICON=...] [-DVERSION=a.b.c] [-DSIGN_COMMAND=...] \
;            [-DPOLICY_DIR=<dir with Ostinel.admx and <language>/Ostinel.adml>] \
;            [-DLISTS_DIR=<the build's generated/table_lists>] ostinel.nsi
; (it reads msi_upgrade_code.txt beside it, by default ../policy, and languages.nsh, which the
; build writes from the language table: cmake/table_lists.cmake; by default the windows preset's)
; SIGN_COMMAND, when given, is run with the path of the uninstaller and then of the setup, and must
; sign that file in place (cmake/sign.cmake does, with the build's certificate).
;
; What it does:
; - installs Ostinel.exe and OstinelSettings.exe into Program Files\Ostinel, or a folder given with
;   /D= that does not exist, is empty or holds an earlier install (never a drive's root or a folder
;   that holds anything else), with every folder above it safe from others; the folder gets its
;   final permissions before anything goes in, and Administrators own all it holds;
; - lets every user's logon start the utility: the HKLM Run value "Ostinel", or with
;   /AUTOSTART=task the Task Scheduler task "Ostinel" (for kiosks whose shell never runs the Run
;   key); without /AUTOSTART an upgrade keeps what was installed (HKLM\Software\Vemto\Ostinel,
;   AutoStart, which Ostinel.msi reads and writes too);
; - removes an installed Ostinel.msi first (msiexec /x, which keeps the settings), so that one
;   product is listed; when it cannot, it stops with exit value 2 and says why (in a silent run, in
;   %TEMP%\OstinelSetup.log);
; - puts "Ostinel Settings" into the all-users Start menu (the utility has no visible way to open
;   its settings: the opener asks the running copy to show them);
; - creates the settings key (32-bit registry view) and lets the Users group change it: the
;   utility runs with the user's own rights and would otherwise silently lose a user's OK;
; - registers an uninstaller, which ends running copies and removes all of this except the settings.
;   A file still in use is renamed aside and only that name deleted at the next restart, so that an
;   install before the restart keeps its files.
;
; Upgrades: the installer ends the copies of the utility it can see. A copy it cannot end (in
; another user's session, or when the installer runs as SYSTEM) keeps its file open; Windows lets
; such a file be renamed but not replaced, so it is renamed aside and deleted at the next restart.
; The new version starts at the next logon. Exit value: 0 when done, 3010 when a restart is needed
; to finish (an old copy still runs, or a file is replaced only at the restart), 2 when stopped
; by an error (a wrong /AUTOSTART, a folder Ostinel may not use or that could not be locked, an
; installed Ostinel.msi that could not be removed, or the logon task that could not be made).

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef BIN_DIR
  !error "Define BIN_DIR: the directory that holds Ostinel.exe and OstinelSettings.exe"
!endif
; The administrative templates, in a central store's layout (by default the repository's).
!ifndef POLICY_DIR
  !define POLICY_DIR "${__FILEDIR__}/../policy"
!endif
; The lists the build writes from the tables (languages.nsh).
!ifndef LISTS_DIR
  !define LISTS_DIR "${__FILEDIR__}/../build/windows/generated/table_lists"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "OstinelSetup.exe"
!endif
!ifndef VERSION
  !define VERSION "1.0.0"
!endif
!searchparse /noerrors "${VERSION}" "" VERSION_MAJOR "." VERSION_MINOR "." VERSION_PATCH
!ifndef VERSION_PATCH
  !error "VERSION must be major.minor.patch"
!endif

!ifdef SIGN_COMMAND
  ; Both are signed as they are written, so the uninstaller the setup writes carries its signature.
  !uninstfinalize '${SIGN_COMMAND} "%1"' = 0
  !finalize '${SIGN_COMMAND} "%1"' = 0
!endif

!define PRODUCT "Ostinel"
!define PUBLISHER "Vemto"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostinel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SHORTCUT "$SMPROGRAMS\Ostinel Settings.lnk"
; What starts the utility at logon, "run" or "task", as the last install chose it.
!define STATE_KEY "Software\Vemto\Ostinel"
!define TASK_FILE "$SYSDIR\Tasks\Ostinel"
; Every version of Ostinel.msi shares this upgrade code.
!define /file MSI_UPGRADE_CODE "${__FILEDIR__}/msi_upgrade_code.txt"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A reinstall or upgrade goes where the last one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; A drive's root given with /D= reaches the folder check, which refuses it, instead of the setup
; falling back to its default folder without a word.
AllowRootDirInstall true
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}.0"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright ${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

!ifdef APP_ICON
  !define MUI_ICON "${APP_ICON}"
  !define MUI_UNICON "${APP_ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(StartNowText)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartUtility

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The utility's own languages (the language table's NSIS languages, the fallback language first);
; the installer takes the one of the user's interface.
!include "${LISTS_DIR}/languages.nsh"
!insertmacro OstinelLanguages

LangString StartNowText ${LANG_ENGLISH} "Start Ostinel now"
LangString StartNowText ${LANG_SIMPCHINESE} "立即启动 Ostinel"
LangString StartNowText ${LANG_TRADCHINESE} "立即啟動 Ostinel"
LangString GrantFailedText ${LANG_ENGLISH} "Warning: users other than administrators may be unable to save Ostinel's settings (code $0)."
LangString GrantFailedText ${LANG_SIMPCHINESE} "警告：非管理员用户可能无法保存 Ostinel 的设置（代码 $0）。"
LangString GrantFailedText ${LANG_TRADCHINESE} "警告：非管理員使用者可能無法儲存 Ostinel 的設定（代碼 $0）。"
LangString StopFailedText ${LANG_ENGLISH} "Warning: a running Ostinel could not be ended (code $0)."
LangString StopFailedText ${LANG_SIMPCHINESE} "警告：无法结束正在运行的 Ostinel（代码 $0）。"
LangString StopFailedText ${LANG_TRADCHINESE} "警告：無法結束執行中的 Ostinel（代碼 $0）。"
LangString MovedAsideText ${LANG_ENGLISH} "$R0 is in use: the new version is used from the next start, the old file is deleted at the next restart."
LangString MovedAsideText ${LANG_SIMPCHINESE} "$R0 正在使用中：新版本在下次启动时使用，旧文件在下次重新启动时删除。"
LangString MovedAsideText ${LANG_TRADCHINESE} "$R0 正在使用中：新版本在下次啟動時使用，舊檔案在下次重新開機時刪除。"
LangString RemovedAtRestartText ${LANG_ENGLISH} "$R0 is in use: it is deleted at the next restart."
LangString RemovedAtRestartText ${LANG_SIMPCHINESE} "$R0 正在使用中：将在下次重新启动时删除。"
LangString RemovedAtRestartText ${LANG_TRADCHINESE} "$R0 正在使用中：將在下次重新開機時刪除。"
LangString AutoStartText ${LANG_ENGLISH} "/AUTOSTART=$AutoStart is not a way to start Ostinel: use /AUTOSTART=run (the Run value) or /AUTOSTART=task (a Task Scheduler task)."
LangString AutoStartText ${LANG_SIMPCHINESE} "/AUTOSTART=$AutoStart 不是启动 Ostinel 的方式：请使用 /AUTOSTART=run（Run 值）或 /AUTOSTART=task（任务计划程序任务）。"
LangString AutoStartText ${LANG_TRADCHINESE} "/AUTOSTART=$AutoStart 不是啟動 Ostinel 的方式：請使用 /AUTOSTART=run（Run 值）或 /AUTOSTART=task（工作排程器工作）。"
LangString MsiRemovalText ${LANG_ENGLISH} "Ostinel installed by Ostinel.msi ($1) could not be removed (msiexec /x ended with $0): remove it, then run this setup again."
LangString MsiRemovalText ${LANG_SIMPCHINESE} "无法删除由 Ostinel.msi 安装的 Ostinel（$1）（msiexec /x 结束代码 $0）：请先删除它，然后再次运行此安装程序。"
LangString MsiRemovalText ${LANG_TRADCHINESE} "無法移除由 Ostinel.msi 安裝的 Ostinel（$1）（msiexec /x 結束代碼 $0）：請先移除它，再重新執行此安裝程式。"
LangString FolderRefusedText ${LANG_ENGLISH} "Ostinel was not installed: $1"
LangString FolderRefusedText ${LANG_SIMPCHINESE} "未安装 Ostinel：$1"
LangString FolderRefusedText ${LANG_TRADCHINESE} "未安裝 Ostinel：$1"
LangString LockFailedText ${LANG_ENGLISH} "The permissions of the folder $INSTDIR could not be restricted to administrators (OstinelSettings ended with $0: $1): Ostinel was not installed."
LangString LockFailedText ${LANG_SIMPCHINESE} "无法将文件夹 $INSTDIR 的权限限制为管理员（OstinelSettings 结束代码 $0：$1）：未安装 Ostinel。"
LangString LockFailedText ${LANG_TRADCHINESE} "無法將資料夾 $INSTDIR 的權限限制為系統管理員（OstinelSettings 結束代碼 $0：$1）：未安裝 Ostinel。"
LangString OwnerFailedText ${LANG_ENGLISH} "The files in $INSTDIR could not be given to the Administrators group (icacls ended with $0): set their owner, or install Ostinel again."
LangString OwnerFailedText ${LANG_SIMPCHINESE} "无法将 $INSTDIR 中的文件的所有者设为 Administrators 组（icacls 结束代码 $0）：请设置其所有者，或重新安装 Ostinel。"
LangString OwnerFailedText ${LANG_TRADCHINESE} "無法將 $INSTDIR 中檔案的擁有者設為 Administrators 群組（icacls 結束代碼 $0）：請設定其擁有者，或重新安裝 Ostinel。"
LangString TaskFailedText ${LANG_ENGLISH} "The Task Scheduler task Ostinel could not be made (schtasks ended with $0): Ostinel does not start at logon."
LangString TaskFailedText ${LANG_SIMPCHINESE} "无法创建任务计划程序任务 Ostinel（schtasks 结束代码 $0）：Ostinel 不会在登录时启动。"
LangString TaskFailedText ${LANG_TRADCHINESE} "無法建立工作排程器工作 Ostinel（schtasks 結束代碼 $0）：Ostinel 不會在登入時啟動。"

Var AutoStart
; Set when the install stopped on an error: the exit value is then 2, not 0 or 3010.
Var Failed

Function .onInit
  ; The Run value and the uninstall entry belong to the 64-bit view, next to the 64-bit program.
  SetRegView 64
  SetShellVarContext all
  ; /AUTOSTART=run|task; without it what the last install chose, else the Run value.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $AutoStart
  ${If} ${Errors}
    ReadRegStr $AutoStart HKLM "${STATE_KEY}" "AutoStart"
    ${If} $AutoStart == ""
      StrCpy $AutoStart "run"
    ${EndIf}
  ${EndIf}
  ${If} $AutoStart == "run"
    StrCpy $AutoStart "run"
  ${ElseIf} $AutoStart == "task"
    StrCpy $AutoStart "task"
  ${Else}
    StrCpy $0 "$(AutoStartText)"
    Call Refuse
    Abort
  ${EndIf}
FunctionEnd

; $0: why the setup stops. Shown, or in a silent run appended to %TEMP%\OstinelSetup.log (UTF-16).
Function Refuse
  StrCpy $Failed 1
  SetErrorLevel 2
  DetailPrint "$0"
  ${If} ${Silent}
    FileOpen $2 "$TEMP\OstinelSetup.log" a
    FileSeek $2 0 END $3
    ${If} $3 == 0
      FileWriteWord $2 0xFEFF
    ${EndIf}
    FileWriteUTF16LE $2 "$0$\r$\n"
    FileClose $2
  ${Else}
    MessageBox MB_ICONSTOP|MB_OK "$0"
  ${EndIf}
FunctionEnd

; Removes every installed Ostinel.msi (found by its upgrade code) silently; the package's uninstall
; keeps the settings. On failure: Refuse, and the error flag set.
Function RemoveMsiProduct
  ClearErrors
  StrCpy $R2 0
  ${Do}
    System::Call 'msi::MsiEnumRelatedProductsW(w "{${MSI_UPGRADE_CODE}}", i 0, i 0, w .r1) i .r0'
    ${If} $0 != 0
      Return
    ${EndIf}
    DetailPrint "msiexec /x $1 /qn"
    ExecWait '"$SYSDIR\msiexec.exe" /x $1 /qn REBOOT=ReallySuppress' $0
    ${If} $0 == 3010
      SetRebootFlag true
    ${ElseIf} $0 != 0
    ${OrIf} $R2 > 4
      StrCpy $0 "$(MsiRemovalText)"
      Call Refuse
      SetErrors
      Return
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
FunctionEnd

; Makes the logon task: the opener writes its definition (ostinel_task.xml) for the program in
; $INSTDIR, XML-escaped, to a file only administrators may open, registers it with schtasks and
; deletes it (as Ostinel.msi does). It refuses (exit value 4) when someone other than an
; administrator could change the program or its folders.
Function CreateTask
  ExecWait '"$INSTDIR\OstinelSettings.exe" /create-logon-task' $0
  ${If} $0 != 0
    StrCpy $0 "$(TaskFailedText)"
    Call Refuse
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) tells deployment tools that a restart finishes the job.
Function .onInstSuccess
  ${If} $Failed == 1
    SetErrorLevel 2
  ${ElseIf} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

; Run in place by Ostinel.msi (_?=), which installs at once: the files renamed aside that wait for
; the restart do not hold up its install, so the exit value is 0.
Function un.onUninstSuccess
  ${If} ${RebootFlag}
  ${AndIf} $EXEDIR != $INSTDIR
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

; $R0: an installed program's path. A file that cannot be deleted is in use by a copy this
; installer could not end: rename it to $R0.<n>.old (allowed while it runs) and delete that at the
; next restart. Old files of copies that have ended since an earlier upgrade go now.
; A file that cannot even be renamed stays: it is never scheduled for deletion under its own name,
; which a later install may have filled again by the restart.
!macro MoveAsideIfInUseFunction UN TEXT
Function ${UN}MoveAsideIfInUse
  ${IfNot} ${FileExists} "$R0"
    Return
  ${EndIf}
  Delete "$R0.*.old"
  ClearErrors
  Delete "$R0"
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  StrCpy $R1 1
  ${DoWhile} ${FileExists} "$R0.$R1.old"
    IntOp $R1 $R1 + 1
  ${Loop}
  ClearErrors
  Rename "$R0" "$R0.$R1.old"
  ${IfNot} ${Errors}
    DetailPrint "$(${TEXT})"
    Delete /REBOOTOK "$R0.$R1.old"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro MoveAsideIfInUseFunction "" MovedAsideText
!insertmacro MoveAsideIfInUseFunction "un." RemovedAtRestartText

; Adds the size of FILE in bytes to VAR.
!macro AddFileSize VAR FILE
  FileOpen $2 "${FILE}" r
  FileSeek $2 0 END $3
  FileClose $2
  IntOp ${VAR} ${VAR} + $3
!macroend

; Installs one program without asking, even over a running copy. When the old file can be neither
; deleted nor renamed, the new one waits beside it and replaces it at the next restart.
!macro InstallProgram NAME
  StrCpy $R0 "$INSTDIR\${NAME}"
  Call MoveAsideIfInUse
  SetOverwrite try
  ClearErrors
  File "${BIN_DIR}/${NAME}"
  ${If} ${Errors}
    File "/oname=${NAME}.new" "${BIN_DIR}/${NAME}"
    Rename /REBOOTOK "$INSTDIR\${NAME}.new" "$R0"
  ${EndIf}
  SetOverwrite on
!macroend

!macro InstallPolicyTexts LANGUAGE
  SetOutPath "$INSTDIR\PolicyDefinitions\${LANGUAGE}"
  File "${POLICY_DIR}/${LANGUAGE}/Ostinel.adml"
!macroend

; $R3 "check" or "lock": the opener, unpacked into the plug-ins folder, judges $INSTDIR (a folder
; that does not exist, is empty or holds an earlier install, every folder above it safe from others;
; never a drive's root or a folder that holds anything else) and, with "lock", creates it with its
; final permissions or sets an existing one to exactly those, before anything goes in: what runs
; from it runs as SYSTEM (Ostinel.msi's removal of this setup) and in every user's session. The
; permissions are Ostinel.msi's (settings_opener/install_folder_sddl.h): owned by Administrators,
; nothing inherited, SYSTEM and Administrators full control, Users read and execute. On refusal or
; failure: Refuse, and the error flag set.
Function PrepareFolder
  InitPluginsDir
  SetOutPath "$PLUGINSDIR"
  File "${BIN_DIR}/OstinelSettings.exe"
  nsExec::ExecToStack '"$PLUGINSDIR\OstinelSettings.exe" /$R3-install-folder "$INSTDIR"'
  Pop $0
  Pop $1
  ; The opener's reason, without its line end.
  ${Do}
    StrCpy $2 $1 1 -1
    ${If} $2 == "$\r"
    ${OrIf} $2 == "$\n"
      StrCpy $1 $1 -1
    ${Else}
      ${ExitDo}
    ${EndIf}
  ${Loop}
  ${If} $0 == 0
    Return
  ${ElseIf} $0 == 5
    StrCpy $0 "$(FolderRefusedText)"
  ${Else}
    StrCpy $0 "$(LockFailedText)"
  ${EndIf}
  Call Refuse
  SetErrors
FunctionEnd

; After the last file: Administrators own the folder and all the setup laid in it (on client
; Windows what an administrator's process creates is owned by that account, and Ostinel.msi
; refuses to run an uninstaller others own), and what is inside takes the folder's permissions
; only (entries an earlier install's files may carry go; the reset's exit value is not counted:
; the folder itself is locked already).
Function OwnFiles
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /setowner *S-1-5-32-544 /T /C /Q'
  Pop $0
  ${If} $0 != 0
    StrCpy $0 "$(OwnerFailedText)"
    Call Refuse
  ${EndIf}
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR\*" /reset /T /C /Q'
  Pop $1
FunctionEnd

Section "Ostinel" SecMain
  SectionIn RO
  ; A folder Ostinel may not use stops the setup before anything changes.
  ClearErrors
  StrCpy $R3 "check"
  Call PrepareFolder
  ${If} ${Errors}
    Abort
  ${EndIf}
  ; One product: an installed Ostinel.msi goes first.
  Call RemoveMsiProduct
  ${If} ${Errors}
    Abort
  ${EndIf}
  StrCpy $R3 "lock"
  Call PrepareFolder
  ${If} ${Errors}
    Abort
  ${EndIf}
  SetOutPath "$INSTDIR"

  ; The opener comes first: it ends the running utility this session can see, whose file would
  ; otherwise be in use.
  !insertmacro InstallProgram "OstinelSettings.exe"
  ExecWait '"$INSTDIR\OstinelSettings.exe" /stop-utility' $0
  ${If} $0 != 0
    DetailPrint "$(StopFailedText)"
  ${EndIf}
  !insertmacro InstallProgram "Ostinel.exe"

  ; The administrative templates, for administrators to copy into a central store or import.
  SetOutPath "$INSTDIR\PolicyDefinitions"
  File "${POLICY_DIR}/Ostinel.admx"
  !insertmacro ForEachLanguage InstallPolicyTexts
  SetOutPath "$INSTDIR"

  ExecWait '"$INSTDIR\OstinelSettings.exe" /grant-settings-access' $0
  ${If} $0 != 0
    DetailPrint "$(GrantFailedText)"
  ${EndIf}

  ; The start at logon: the Run value, or the task instead.
  ${If} $AutoStart == "task"
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    Call CreateTask
  ${Else}
    ${If} ${FileExists} "${TASK_FILE}"
      nsExec::Exec '"$SYSDIR\schtasks.exe" /delete /tn Ostinel /f'
      Pop $0
    ${EndIf}
    Delete "$INSTDIR\OstinelTask.xml"
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Ostinel.exe"'
  ${EndIf}
  WriteRegStr HKLM "${STATE_KEY}" "AutoStart" $AutoStart
  CreateShortCut "${SHORTCUT}" "$INSTDIR\OstinelSettings.exe" "" "$INSTDIR\OstinelSettings.exe" 0

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  Call OwnFiles
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Ostinel.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; The three programs, in KiB: an old file moved aside during an upgrade goes at the restart.
  StrCpy $1 0
  !insertmacro AddFileSize $1 "$INSTDIR\Ostinel.exe"
  !insertmacro AddFileSize $1 "$INSTDIR\OstinelSettings.exe"
  !insertmacro AddFileSize $1 "$INSTDIR\Uninstall.exe"
  IntOp $1 $1 / 1024
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
SectionEnd

; Offered on the finish page of an interactive install only. The installer runs elevated; started
; from it, the utility would run elevated too, and the settings opener of the ordinary user could
; not post to its window. Explorer starts it in the user's own, unelevated session instead.
Function StartUtility
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Ostinel.exe"'
FunctionEnd

!macro RemovePolicyTexts LANGUAGE
  Delete "$INSTDIR\PolicyDefinitions\${LANGUAGE}\Ostinel.adml"
  RMDir "$INSTDIR\PolicyDefinitions\${LANGUAGE}"
!macroend

Section "Uninstall"
  ; The utility has no exit command: the opener ends every copy this session runs.
  ExecWait '"$INSTDIR\OstinelSettings.exe" /stop-utility' $0
  ${If} $0 != 0
    DetailPrint "$(StopFailedText)"
  ${EndIf}

  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${If} ${FileExists} "${TASK_FILE}"
    nsExec::Exec '"$SYSDIR\schtasks.exe" /delete /tn Ostinel /f'
    Pop $0
  ${EndIf}
  DeleteRegValue HKLM "${STATE_KEY}" "AutoStart"
  DeleteRegKey /ifempty HKLM "${STATE_KEY}"
  Delete "${SHORTCUT}"
  ; A copy still running in another user's session keeps its file: it is renamed aside and only
  ; that name is deleted at the next restart. (Deleting the path itself then would delete what an
  ; install before the restart put there.)
  StrCpy $R0 "$INSTDIR\Ostinel.exe"
  Call un.MoveAsideIfInUse
  Delete /REBOOTOK "$INSTDIR\Ostinel.exe.*.old"
  StrCpy $R0 "$INSTDIR\OstinelSettings.exe"
  Call un.MoveAsideIfInUse
  Delete /REBOOTOK "$INSTDIR\OstinelSettings.exe.*.old"
  Delete "$INSTDIR\OstinelTask.xml"
  Delete "$INSTDIR\PolicyDefinitions\Ostinel.admx"
  !insertmacro ForEachLanguage RemovePolicyTexts
  RMDir "$INSTDIR\PolicyDefinitions"
  Delete "$INSTDIR\Uninstall.exe"
  ; The folder goes now, or at the restart after the files renamed aside (it stays when an install
  ; has put files in it by then).
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; HKLM\SOFTWARE\Vemto\Brenlo (32-bit view) stays: the users' settings survive a reinstall.
SectionEnd

; The event log source "Ostinel": the installed Ostinel.exe holds the texts of its events (its
; message table, in the three languages); the source goes with the program.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Ostinel"
Section "-EventLogSource"
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Ostinel.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7
SectionEnd
Section "-un.EventLogSource"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
SectionEnd
