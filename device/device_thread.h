// The device thread: started once at the end of start-up, runs until the process ends.
#pragma once

#include <windows.h>

// Thread entry: the device loop on the real controller. Never returns; the argument is unused.
DWORD WINAPI DeviceLoop(void* unused);

// Starts the device thread with the default stack size; its handle is not kept.
// Returns ERROR_SUCCESS, or the system's error code when the thread could not be created.
DWORD StartDeviceThread();
