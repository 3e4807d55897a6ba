// The device thread: started once at the end of start-up, runs until the process ends.
#pragma once

#include <windows.h>

// Thread entry: the device loop on the real controller. Never returns; the argument is unused.
DWORD WINAPI DeviceLoop(void* unused);

// What the device thread asks of the status window. Start-up wires these to the status window;
// each must return at once (the device thread never waits for a window).
struct DeviceStatusActions {
  void (*ShowLog)() = nullptr;           // show the log as it is now
  void (*ClearLog)() = nullptr;          // empty the log and show it empty
  void (*ShowStatusWindow)() = nullptr;  // show the window (a lost connection)
  void (*StartDelayedHide)() = nullptr;  // hide the window 1500 ms from now
};

// Starts the device thread with the default stack size; its handle is not kept. The actions must
// all be set. Returns ERROR_SUCCESS, or the system's error code when the thread could not be created.
DWORD StartDeviceThread(const DeviceStatusActions& actions);
