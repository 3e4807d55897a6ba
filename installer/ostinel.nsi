; Installer of Ostinel: the touch-feedback utility and its settings opener, for every user of a
; 64-bit Windows. Built by the windows build (target OstinelSetup); by hand:
;   makensis -INPUTCHARSET UTF8 -DBIN_DIR=<dir with Ostinel.exe and OstinelSettings.exe> \
;            [-DOUT_FILE=...] [-DAPP_ICON=...] [-DVERSION=a.b.c.d] ostinel.nsi
;
; What it does:
; - installs Ostinel.exe and OstinelSettings.exe into Program Files\Ostinel;
; - lets every user's logon start the utility (HKLM Run value "Ostinel");
; - puts "Ostinel Settings" into the all-users Start menu (the utility has no visible way to open
;   its settings: the opener asks the running copy to show them);
; - creates the settings key (32-bit registry view) and lets the Users group change it: the
;   utility runs with the user's own rights and would otherwise silently lose a user's OK;
; - registers an uninstaller, which ends running copies and removes all of this except the settings.

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
  !define VERSION "1.0.0.0"
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

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
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

Function .onInit
  ; The Run value and the uninstall entry belong to the 64-bit view, next to the 64-bit program.
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Ostinel" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"

  ; The opener comes first: it ends a running utility, whose file would otherwise be in use.
  File "${BIN_DIR}/OstinelSettings.exe"
  ExecWait '"$INSTDIR\OstinelSettings.exe" /stop-utility' $0
  ${If} $0 != 0
    DetailPrint "$(StopFailedText)"
  ${EndIf}
  File "${BIN_DIR}/Ostinel.exe"

  ExecWait '"$INSTDIR\OstinelSettings.exe" /grant-settings-access' $0
  ${If} $0 != 0
    DetailPrint "$(GrantFailedText)"
  ${EndIf}

  WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Ostinel.exe"'
  CreateShortCut "${SHORTCUT}" "$INSTDIR\OstinelSettings.exe" "" "$INSTDIR\OstinelSettings.exe" 0

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Ostinel.exe",0'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
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
  Delete "$INSTDIR\OstinelSettings.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; HKLM\SOFTWARE\Vemto\Brenlo (32-bit view) stays: the users' settings survive a reinstall.
SectionEnd
