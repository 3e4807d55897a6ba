; Installer of Ostinel: the touch-feedback utility and its settings opener, for every user of a
; 64-bit Windows. Built by the windows build (target OstinelSetup); by hand:
;   makensis -INPUTCHARSET UTF8 -DBIN_DIR=<dir with Ostinel.exe and OstinelSettings.exe> \
;            [-DOUT_FILE=...] [-DAPP_ICON=...] [-DVERSION=a.b.c] [-DSIGN_COMMAND=...] ostinel.nsi
; SIGN_COMMAND, when given, is run with the path of the uninstaller and then of the setup, and must
; sign that file in place (cmake/sign.cmake does, with the build's certificate).
;
; What it does:
; - installs Ostinel.exe and OstinelSettings.exe into Program Files\Ostinel;
; - lets every user's logon start the utility (HKLM Run value "Ostinel");
; - puts "Ostinel Settings" into the all-users Start menu (the utility has no visible way to open
;   its settings: the opener asks the running copy to show them);
; - creates the settings key (32-bit registry view) and lets the Users group change it: the
;   utility runs with the user's own rights and would otherwise silently lose a user's OK;
; - registers an uninstaller, which ends running copies and removes all of this except the settings.
;
; Upgrades: the installer ends the copies of the utility it can see. A copy it cannot end (in
; another user's session, or when the installer runs as SYSTEM) keeps its file open; Windows lets
; such a file be renamed but not replaced, so it is renamed aside and deleted at the next restart.
; The new version starts at the next logon. Exit value: 0 when done, 3010 when a restart is needed
; to finish (an old copy still runs, or a file is replaced only at the restart).

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma

!ifndef BIN_DIR
  !error "Define BIN_DIR: the directory that holds Ostinel.exe and OstinelSettings.exe"
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

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A reinstall or upgrade goes where the last one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
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

; The utility's own three languages; the installer takes the one of the user's interface.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"

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

Function .onInit
  ; The Run value and the uninstall entry belong to the 64-bit view, next to the 64-bit program.
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

; 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) tells deployment tools that a restart finishes the job.
Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel 3010
  ${EndIf}
FunctionEnd

; $R0: an installed program's path. A file that cannot be deleted is in use by a copy this
; installer could not end: rename it to $R0.<n>.old (allowed while it runs) and delete that at the
; next restart. Old files of copies that have ended since an earlier upgrade go now.
Function MoveAsideIfInUse
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
    DetailPrint "$(MovedAsideText)"
    Delete /REBOOTOK "$R0.$R1.old"
  ${EndIf}
FunctionEnd

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

Section "Ostinel" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"

  ; The opener comes first: it ends the running utility this session can see, whose file would
  ; otherwise be in use.
  !insertmacro InstallProgram "OstinelSettings.exe"
  ExecWait '"$INSTDIR\OstinelSettings.exe" /stop-utility' $0
  ${If} $0 != 0
    DetailPrint "$(StopFailedText)"
  ${EndIf}
  !insertmacro InstallProgram "Ostinel.exe"

  ExecWait '"$INSTDIR\OstinelSettings.exe" /grant-settings-access' $0
  ${If} $0 != 0
    DetailPrint "$(GrantFailedText)"
  ${EndIf}

  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Ostinel.exe"'
  CreateShortCut "${SHORTCUT}" "$INSTDIR\OstinelSettings.exe" "" "$INSTDIR\OstinelSettings.exe" 0

  WriteUninstaller "$INSTDIR\Uninstall.exe"
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

Section "Uninstall"
  ; The utility has no exit command: the opener ends every copy this session runs.
  ExecWait '"$INSTDIR\OstinelSettings.exe" /stop-utility' $0
  ${If} $0 != 0
    DetailPrint "$(StopFailedText)"
  ${EndIf}

  DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  Delete "${SHORTCUT}"
  ; A copy still running in another user's session keeps its file until the next restart.
  Delete /REBOOTOK "$INSTDIR\Ostinel.exe"
  Delete /REBOOTOK "$INSTDIR\Ostinel.exe.*.old"
  Delete /REBOOTOK "$INSTDIR\OstinelSettings.exe"
  Delete /REBOOTOK "$INSTDIR\OstinelSettings.exe.*.old"
  Delete "$INSTDIR\Uninstall.exe"
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
