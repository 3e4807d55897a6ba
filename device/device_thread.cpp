#include "device/device_thread.h"

#include "button/function_button.h"
#include "core/app_state.h"
#include "device/device_discovery.h"
#include "device/device_loop.h"
#include "feedback/indicator_window.h"
#include "feedback/sound_cues.h"

namespace {

// Set once before the thread starts, read only by the thread.
DeviceStatusActions StatusActions;

// Every transfer is synchronous: the handle is opened without overlapped I/O.
bool OpenDevice(void*, const wchar_t* path, DeviceHandle* device) {
  HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  *device = handle;
  return true;
}

bool WriteDevice(void*, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t* written) {
  DWORD done = 0;
  const BOOL ok = WriteFile(device, bytes, count, &done, nullptr);
  *written = done;
  return ok != FALSE;
}

bool ReadDevice(void*, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
  DWORD done = 0;
  const BOOL ok = ReadFile(device, byte, 1, &done, nullptr);
  *count = done;
  return ok != FALSE;
}

DevicePlatform WindowsDevicePlatform() {
  DevicePlatform p;
  p.FindPath = [](void*, AppStateRecord& state) { return FindDevicePath(state); };
  p.Open = OpenDevice;
  p.Write = WriteDevice;
  p.Read = ReadDevice;
  p.Close = [](void*, DeviceHandle device) { CloseHandle(device); };
  p.LastError = [](void*) -> std::uint32_t { return GetLastError(); };
  p.Sleep = [](void*, std::uint32_t milliseconds) { Sleep(milliseconds); };
  p.PlayCue = [](void*, SoundCue cue) { PlayCue(cue); };
  p.ShowIndicator = [](void*) { ShowIndicator(); };
  p.RepaintButton = [](void*) { RepaintButtonWindow(); };
  p.ShowLog = [](void*) { StatusActions.ShowLog(); };
  p.ClearLog = [](void*) { StatusActions.ClearLog(); };
  p.ShowStatusWindow = [](void*) { StatusActions.ShowStatusWindow(); };
  p.StartDelayedHide = [](void*) { StatusActions.StartDelayedHide(); };
  return p;
}

}  // namespace

DWORD WINAPI DeviceLoop(void*) {
  const DevicePlatform platform = WindowsDevicePlatform();
  DeviceLoopState loop;
  for (;;) RunDevicePass(AppState, platform, loop);
}

DWORD StartDeviceThread(const DeviceStatusActions& actions) {
  StatusActions = actions;
  HANDLE thread = CreateThread(nullptr, 0, DeviceLoop, nullptr, 0, nullptr);
  if (!thread) return GetLastError();
  CloseHandle(thread);
  return ERROR_SUCCESS;
}
