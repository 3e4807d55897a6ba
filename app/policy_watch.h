// Managed settings, live: the policy values are read at start and again once changes under
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies (the key may not exist yet) or a Group Policy refresh have
// been quiet for a moment, and put in force as the settings dialog's OK puts settings in force.
#pragma once

#include <windows.h>

// Posted by the watching thread to the main window after a changed reading; no parameters.
constexpr UINT WM_POLICY_CHANGED = WM_APP + 1;

// UI thread, at start-up before the device thread starts: reads the policies and puts them in
// force (ignored values go to the status log and the event log), then starts the thread that
// watches for changes. The registry is read on that thread from then on, never on the UI thread.
void StartPolicyWatch(HWND mainWindow);

// UI thread, on WM_POLICY_CHANGED: puts the latest reading in force when it differs from the
// policies in force; a notice that changes nothing does nothing.
void OnPolicyChangeNotice();
