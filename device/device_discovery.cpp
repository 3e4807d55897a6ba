#include "device/device_discovery.h"

#include <windows.h>
// setupapi.h needs the types of windows.h
#include <setupapi.h>

#include <cstddef>
#include <cwchar>
#include <new>

#include "core/status_log.h"
#include "win/win_handles.h"
#include "device/device_protocol.h"

namespace {

// Logs the system's text for the thread's last error; nothing when the system has no text for it.
void LogSystemError(AppStateRecord& state) {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || !text) return;
  LogLine(state, L"Error: %ls", text);
  LocalFree(text);
}

}  // namespace

std::unique_ptr<wchar_t[]> FindDevicePath(AppStateRecord& state) {
  const GUID interfaceClass = ControllerInterfaceClass();
  UniqueDeviceInfoList list(
      SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!list) {
    LogLine(state, L"SetupDiGetClassDevs failed!\r\n");
    return nullptr;
  }

  // Only the first interface is used; further controllers are ignored.
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &interfaceClass, 0, &interfaceData)) {
    LogSystemError(state);
    LogLine(state, L"SetupDiEnumDeviceInterfaces failed.\r\n");
    return nullptr;
  }

  // This call fails by design (no buffer); only the size it reports is used.
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailW(list.get(), &interfaceData, nullptr, 0, &required, nullptr);

  UniqueLocalMemory block(LocalAlloc(LMEM_FIXED, required));
  if (!block) {
    LogLine(state, L"Failed to allocate memory.\r\n");
    return nullptr;
  }

  // The size field takes the size of the record's fixed part, not of the block. A block too small
  // for even that part is never written: it fails as the detail read would.
  constexpr DWORD fixedPart = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.get());
  bool gotDetail = false;
  if (required < fixedPart) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  } else {
    detail->cbSize = fixedPart;
    gotDetail = SetupDiGetDeviceInterfaceDetailW(list.get(), &interfaceData, detail, required, nullptr, nullptr);
  }
  if (!gotDetail) {
    LogSystemError(state);
    LogLine(state, L"Error in SetupDiGetDeviceInterfaceDetail\r\n");
    return nullptr;
  }

  // The path fills the block after the size field; stop at the block's end even without a terminator.
  const std::size_t capacity = (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
  const std::size_t length = wcsnlen(detail->DevicePath, capacity);
  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[length + 1]);
  if (!path) {
    LogLine(state, L"Failed to allocate memory.\r\n");
    return nullptr;
  }
  std::wmemcpy(path.get(), detail->DevicePath, length);
  path[length] = L'\0';
  return path;
}
