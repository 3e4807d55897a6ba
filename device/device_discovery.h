// Finding the touch controller's device interface with the Setup API.
#pragma once

#include <windows.h>
// setupapi.h needs the types of windows.h
#include <setupapi.h>

#include <memory>

#include "core/app_state.h"
#include "device/device_protocol.h"
#include "win/win_handles.h"

// The controller's interface class as the Setup API and device notices name it.
inline GUID ControllerInterfaceClass() {
  GUID guid{};
  guid.Data1 = ControllerInterfaceGuid.Data1;
  guid.Data2 = ControllerInterfaceGuid.Data2;
  guid.Data3 = ControllerInterfaceGuid.Data3;
  for (int i = 0; i < 8; ++i) guid.Data4[i] = ControllerInterfaceGuid.Data4[i];
  return guid;
}

struct DeviceInfoListTraits {
  static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HDEVINFO list) { SetupDiDestroyDeviceInfoList(list); }
};
using UniqueDeviceInfoList = UniqueOwner<HDEVINFO, DeviceInfoListTraits>;

// Path of the first present interface of ControllerInterfaceGuid, owned by the caller, or none.
// Each failure appends its lines to state's log; the window is not touched.
std::unique_ptr<wchar_t[]> FindDevicePath(AppStateRecord& state);
