// Identifiers of Ostinel.exe that its resource script, its code, OstinelSettings.exe and the tests
// share: resources, controls, the hidden main window's class and the messages it takes.
#pragma once

// Dialog templates.
#define IDD_SETTINGS 129  // settings dialog
#define IDD_POPUP 136     // captionless topmost popup: indicator and function button
#define IDD_STATUS 146    // status log window

// String table.
#define IDS_CLASS_NAME 109  // class name of the hidden main window

// The hidden main window's class (string IDS_CLASS_NAME), by which other processes find it.
#define MAIN_WINDOW_CLASS_NAME "{A3F450AB-AF1C-4d36-BDAA-9B69162F70D0}"

// Icon groups.
#define IDI_SECOND 2
#define IDI_APP 108

// Bitmaps.
#define IDB_INDICATOR 150    // 127x127 ring of eight discs on black
#define IDB_HAND 153         // 104x100 hand touching a screen
#define IDB_BUTTON_ON 156    // 50x50 mouse, right button red: armed
#define IDB_BUTTON_OFF 157   // 50x50 mouse, left button red: idle
#define IDB_BUTTON_MOVE 158  // 50x50 mouse, left button in a red frame: move mode

// WAVE sounds.
#define IDW_START 129
#define IDW_LEFT_CLICK 131
#define IDW_START_FAILED 133
#define IDW_RIGHT_CLICK 143

// Settings dialog controls.
#define IDC_LEFT_SOUND 1000
#define IDC_RIGHT_SOUND 1001
#define IDC_RIGHT_FLASH 1002
#define IDC_ONCE_ONLY 1003
#define IDC_WAIT_SLIDER 1005
#define IDC_WAIT_LABEL 1006
#define IDC_METHOD_NONE 1009
#define IDC_METHOD_BUTTON 1010
#define IDC_METHOD_HOLD 1011
#define IDC_GROUP_METHOD 1012
#define IDC_GROUP_BUTTON 1013
#define IDC_GROUP_HOLD 1014
#define IDC_MANAGED_NOTE 1015  // "Some settings are managed by your organization.", shown only then
#define IDC_HAND_PICTURE 153
#define IDC_WAIT_CAPTION -1

// Status window controls.
#define IDC_STATUS_LOG 1001
#define IDC_STATUS_BUTTON 1

#ifndef RC_INVOKED
constexpr wchar_t MAIN_WINDOW_CLASS[] = L"" MAIN_WINDOW_CLASS_NAME;

// Messages the main window takes from other processes (WM_USER is 0x0400).
constexpr unsigned WM_OPEN_SETTINGS = 0x0400 + 1;  // open the settings dialog
// Only the test build (OstinelFaults.exe) answers these: hold the UI thread for wParam ms (at most
// 5 s), and answer the hook's latest point (PointerWord).
constexpr unsigned WM_TEST_HOLD_UI_THREAD = 0x0400 + 20;
constexpr unsigned WM_TEST_HOOK_POINT = 0x0400 + 21;
#endif
