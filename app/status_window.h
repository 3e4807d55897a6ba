// The status window: a topmost dialog that shows the status log and one button.
//
// The window belongs to the UI thread. The device thread reaches it only through posted requests
// (PublishLog, ClearLog, ShowStatusWindow, StartDelayedHide), which the UI thread handles in the order
// they were posted; the device thread never waits for them. The requests carry no pointers: the log
// is published under a lock and the window copies it under the same lock, and the show and hide
// requests carry a key of this run, so a message posted by another process changes at most the
// text shown to the log as it is.
#pragma once

#include <windows.h>


// Window messages the status window takes from other threads.
constexpr UINT WM_STATUS_REFRESH_LOG = WM_APP + 1;   // show the published log; parameters unused
constexpr UINT WM_STATUS_SHOW = WM_APP + 2;          // wParam: the run's key; show, cancel a pending hide
constexpr UINT WM_STATUS_DELAYED_HIDE = WM_APP + 3;  // wParam: the run's key; hide 1500 ms from now

constexpr UINT STATUS_HIDE_DELAY_MS = 1500;

// Creates the status window, hidden, from its dialog template, owned by owner.
HWND CreateStatusDialog(HINSTANCE instance, HWND owner);

// Places the status window topmost in the middle of the primary screen and shows it. The status
// window never takes the foreground by itself: it is shown on top without activation.
void PlaceAndShowStatusWindow();
// UI thread: show the status window on top, without activation, where it is.
void ShowStatusWindowNow();

// UI thread: put the log as its owner last published it (PublishLog) into the window's edit control now.
void ShowPublishedLog();

// Log owner (UI thread during start-up, device thread afterwards): publish a copy of the log as it
// is now and post the window a refresh, which shows it.
void PublishLog();
// Log owner: empty the log and show it empty.
void ClearLog();
// Any thread: show the status window; a pending delayed hide is cancelled, so a lost connection is
// never hidden by the hide that its earlier "Connect OK!" started.
void ShowStatusWindow();
// Any thread: hide the status window 1500 ms from now.
void StartDelayedHide();

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
