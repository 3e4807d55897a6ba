// The device thread: started once at the end of start-up, runs until the program ends.
#pragma once

#include <windows.h>

#include "device/device_loop.h"

// Thread entry: the device loop on the real controller. Returns when a stop was requested, after
// letting go of the controller; the argument is unused.
DWORD WINAPI DeviceLoop(void* unused);

// What the device thread asks of the status window. Start-up wires these to the status window;
// each must return at once (the device thread never waits for a window).
struct DeviceStatusActions {
  void (*PublishLog)() = nullptr;        // publish the log as it is now for the window to show
  void (*ClearLog)() = nullptr;          // empty the log and show it empty
  void (*ShowStatusWindow)() = nullptr;  // show the window (a lost connection)
  void (*StartDelayedHide)() = nullptr;  // hide the window 1500 ms from now
  // Field reports (event log, support report); called on the device thread, must return at once.
  void (*Notice)(DeviceNotice notice, std::uint32_t error, const wchar_t* path) = nullptr;
};

// Starts the device thread with the default stack size and registers its wake in AppState. The
// actions must all be set. Returns ERROR_SUCCESS, or the system's error code when the thread could
// not be created.
DWORD StartDeviceThread(const DeviceStatusActions& actions);

// Asks the device thread to let go of the controller and end, and waits up to timeoutMs for it.
// True when the thread has ended (or never ran).
bool StopDeviceThread(DWORD timeoutMs);
