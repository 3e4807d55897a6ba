// Discovery against simulated controllers registered in this test's own Wine prefix.
#include "device/device_discovery.h"

#include <windows.h>
// setupapi.h needs the types of windows.h
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>

#include "core/status_log.h"
#include "tools/sim_controller/sim_controller.h"

namespace {

constexpr wchar_t kEnumFailed[] = L"SetupDiEnumDeviceInterfaces failed.\r\n";

std::wstring SystemText(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                 error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = text ? text : L"";
  if (text) LocalFree(text);
  return result;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

UniqueSim Sim(const wchar_t* device, const wchar_t* pipe, bool plugged = true) {
  SimOptions options;
  options.DeviceName = device;
  options.PipeName = pipe;
  options.Plugged = plugged;
  std::uint32_t error = 0;
  UniqueSim sim = StartSim(options, &error);
  EXPECT_TRUE(sim) << "simulated controller did not start: " << error;
  return sim;
}

// The path of the interface at index 0, asked of the Setup API directly.
std::wstring FirstInterfacePath() {
  const GUID guid = {0xB1B46D01, 0xF5FE, 0x428A, {0xB2, 0x1B, 0x2D, 0x91, 0x55, 0x7D, 0xDF, 0x75}};
  HDEVINFO list = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return L"";
  std::wstring path;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof(data);
  if (SetupDiEnumDeviceInterfaces(list, nullptr, &guid, 0, &data)) {
    alignas(8) unsigned char buffer[1024];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    detail->cbSize = sizeof(*detail);
    if (SetupDiGetDeviceInterfaceDetailW(list, &data, detail, sizeof buffer, nullptr, nullptr)) {
      path = detail->DevicePath;
    }
  }
  SetupDiDestroyDeviceInfoList(list);
  return path;
}

TEST(DeviceDiscovery, NoControllerLogsTheEnumerationErrorTextThenItsLine) {
  AppStateRecord state;
  EXPECT_EQ(FindDevicePath(state), nullptr);
  const std::wstring expected = L"Error: " + SystemText(ERROR_NO_MORE_ITEMS) + kEnumFailed;
  EXPECT_EQ(std::wstring(state.LogText.data()), expected) << Narrow(state.LogText.data());
}

TEST(DeviceDiscovery, FindsAPresentControllerAndItsPathOpens) {
  UniqueSim sim = Sim(L"OSTSIM", L"discovery-open");
  ASSERT_TRUE(sim);
  AppStateRecord state;
  auto path = FindDevicePath(state);
  ASSERT_NE(path, nullptr) << Narrow(state.LogText.data());
  EXPECT_EQ(std::wstring(path.get()), SimDevicePath(*sim));
  EXPECT_EQ(state.LogText[0], L'\0');  // success logs nothing

  // The path leads to the controller: what the program writes arrives there.
  HANDLE device = CreateFileW(path.get(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
  const unsigned char setup[4] = {0x00, 0x01, 0x64, 0x00};
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(device, setup, 4, &written, nullptr));
  EXPECT_EQ(written, 4u);
  const ULONGLONG end = GetTickCount64() + 3000;
  while (SimReceivedBytes(*sim).size() < 4 && GetTickCount64() < end) Sleep(5);
  EXPECT_EQ(SimHex(SimReceivedBytes(*sim)), "00 01 64 00");
  CloseHandle(device);
}

TEST(DeviceDiscovery, AnUnlinkedControllerIsNotPresent) {
  UniqueSim sim = Sim(L"OSTSIM", L"discovery-unlinked", false);
  ASSERT_TRUE(sim);
  AppStateRecord state;
  EXPECT_EQ(FindDevicePath(state), nullptr);
  EXPECT_NE(std::wstring(state.LogText.data()).find(kEnumFailed), std::wstring::npos);

  ASSERT_TRUE(SimPlug(*sim));
  ClearLogText(state);
  EXPECT_NE(FindDevicePath(state), nullptr);
  SimUnplug(*sim);
  EXPECT_EQ(FindDevicePath(state), nullptr);
}

TEST(DeviceDiscovery, WithTwoControllersOnlyTheFirstInterfaceIsUsed) {
  UniqueSim first = Sim(L"OSTSIMA", L"discovery-a");
  UniqueSim second = Sim(L"OSTSIMB", L"discovery-b");
  ASSERT_TRUE(first && second);
  const std::wstring indexZero = FirstInterfacePath();
  ASSERT_TRUE(indexZero == SimDevicePath(*first) || indexZero == SimDevicePath(*second));
  AppStateRecord state;
  auto path = FindDevicePath(state);
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::wstring(path.get()), indexZero);
}

}  // namespace
