#include "device/device_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/status_log.h"
#include "core/command_handover.h"
#include "core/settings_test_support.h"
#include "device/device_protocol.h"

namespace {

constexpr wchar_t kRetryLine[] =
    L"Could not connected to Vemto Kavrix Device\r\nThis program will be auto retry again later!";
constexpr wchar_t kEnumError[] = L"Error: No more data is available.\r\n";
constexpr wchar_t kEnumFailed[] = L"SetupDiEnumDeviceInterfaces failed.\r\n";

struct ReadStep {
  bool Ok = true;
  std::uint32_t Error = 0;
  std::uint8_t Byte = 0;
  std::uint32_t Count = 1;
  bool Woken = false;  // a request ended the wait before the read completed
};
struct WriteStep {
  bool Ok = true;
  int Taken = -1;  // -1: every byte
  std::uint32_t Error = 31;
  // Woken, Held or Stuck: the write does not end this call (Ok and Taken then say nothing). After
  // Woken or Held the driver still holds it: the next call waits for it again ("wait write").
  DeviceIoResult Wait = DeviceIoResult::Done;
};
WriteStep WriteWait(DeviceIoResult wait) { return {true, -1, 0, wait}; }
// How the driver ends a cancelled read: with a byte it had read already, without one, or never.
struct CancelStep {
  std::uint8_t Byte = 0;
  std::uint32_t Count = 0;
  bool Stuck = false;
};

ReadStep Event(std::uint8_t byte) { return {true, 0, byte, 1}; }
ReadStep ReadError(std::uint32_t error) { return {false, error, 0, 0}; }
const ReadStep kWoken{true, 0, 0, 0, true};

// A scripted controller and a recorder of every platform call, in order.
struct FakeDevice {
  AppStateRecord* State = nullptr;
  bool Present = true;
  std::wstring Path = L"\\\\?\\root#ostsim#0000#{b1b46d01-f5fe-428a-b21b-2d91557ddf75}";
  std::uint32_t OpenError = 0;
  std::deque<ReadStep> Reads;    // when empty: a read that completes with no byte
  std::deque<WriteStep> Writes;  // when empty: every write is taken whole
  std::deque<CancelStep> Cancels;  // when empty: a cancelled read ends without a byte
  std::function<void()> DuringWrite;  // runs inside the next write, as another thread would
  std::function<void()> DuringWait;   // runs inside a wait for a wake
  std::function<void()> DuringSleep;  // runs inside the next pause
  bool ReuseHandles = false;  // a reopen gets the value of the handle just closed, as Windows often gives
  std::uint32_t LastError = 0;
  bool ReadOutstanding = false;
  std::string WriteOutstanding;  // the bytes of a write the driver still holds

  std::vector<std::string> Calls;
  std::vector<std::uint32_t> WriteLimits;  // how long each write may take before it counts as held
  std::vector<std::string> Notices;  // "lost 31", "connected", ...
  std::vector<std::uint8_t> Received;
  std::vector<std::wstring> ShownLogs;
  int OpenHandles = 0;
  std::uintptr_t NextHandle = 0x100;

  DevicePlatform Platform();
};

FakeDevice& Fake(void* context) { return *static_cast<FakeDevice*>(context); }

std::string Hex(const std::uint8_t* bytes, std::uint32_t count) {
  std::string text;
  for (std::uint32_t i = 0; i < count; ++i) {
    char piece[4];
    std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", bytes[i]);
    text += piece;
  }
  return text;
}

DevicePlatform FakeDevice::Platform() {
  DevicePlatform p;
  p.Context = this;
  p.FindPath = [](void* c, AppStateRecord& state) -> std::unique_ptr<wchar_t[]> {
    FakeDevice& f = Fake(c);
    f.Calls.push_back("find");
    if (!f.Present) {
      LogLine(state, L"Error: %ls", L"No more data is available.\r\n");
      LogLine(state, kEnumFailed);
      return nullptr;
    }
    std::unique_ptr<wchar_t[]> path(new wchar_t[f.Path.size() + 1]);
    std::wmemcpy(path.get(), f.Path.c_str(), f.Path.size() + 1);
    return path;
  };
  p.Open = [](void* c, const wchar_t* path, DeviceHandle* device) {
    FakeDevice& f = Fake(c);
    f.Calls.push_back(std::wstring(path) == f.Path ? "open" : "open <wrong path>");
    if (f.OpenError) {
      f.LastError = f.OpenError;
      return false;
    }
    ++f.OpenHandles;
    *device = reinterpret_cast<DeviceHandle>(f.NextHandle);
    return true;
  };
  p.Write = [](void* c, DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count, std::uint32_t heldAfterMs,
               std::uint32_t* written) {
    FakeDevice& f = Fake(c);
    f.WriteLimits.push_back(heldAfterMs);
    EXPECT_EQ(device, reinterpret_cast<DeviceHandle>(f.NextHandle));
    const std::string hex = Hex(bytes, count);
    if (!f.WriteOutstanding.empty()) {
      EXPECT_EQ(hex, f.WriteOutstanding) << "a held write must be waited for, not replaced";
      f.Calls.push_back("wait write");
    } else {
      f.Calls.push_back("write " + hex);
    }
    if (f.DuringWrite) std::exchange(f.DuringWrite, nullptr)();
    WriteStep step;
    if (!f.Writes.empty()) {
      step = f.Writes.front();
      f.Writes.pop_front();
    }
    *written = 0;
    if (step.Wait != DeviceIoResult::Done) {
      f.WriteOutstanding = step.Wait == DeviceIoResult::Stuck ? std::string() : hex;
      if (step.Wait == DeviceIoResult::Stuck) f.LastError = DEVICE_ERROR_TIMEOUT;
      return step.Wait;
    }
    f.WriteOutstanding.clear();
    *written = step.Ok ? (step.Taken < 0 ? count : static_cast<std::uint32_t>(step.Taken)) : 0;
    if (step.Ok) f.Received.insert(f.Received.end(), bytes, bytes + *written);
    if (!step.Ok) f.LastError = step.Error;
    return step.Ok ? DeviceIoResult::Done : DeviceIoResult::Failed;
  };
  p.Read = [](void* c, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
    FakeDevice& f = Fake(c);
    EXPECT_EQ(device, reinterpret_cast<DeviceHandle>(f.NextHandle));
    EXPECT_TRUE(f.WriteOutstanding.empty()) << "a read while the driver holds a write";
    f.Calls.push_back("read");
    ReadStep step{true, 0, 0, 0};
    if (!f.Reads.empty()) {
      step = f.Reads.front();
      f.Reads.pop_front();
    }
    *byte = step.Byte;
    *count = step.Count;
    f.ReadOutstanding = step.Woken;
    if (step.Woken) return DeviceIoResult::Woken;
    if (!step.Ok) f.LastError = step.Error;
    return step.Ok ? DeviceIoResult::Done : DeviceIoResult::Failed;
  };
  p.CancelRead = [](void* c, DeviceHandle device, std::uint8_t* byte, std::uint32_t* count) {
    FakeDevice& f = Fake(c);
    EXPECT_EQ(device, reinterpret_cast<DeviceHandle>(f.NextHandle));
    EXPECT_TRUE(f.ReadOutstanding) << "a cancel without an outstanding read";
    f.ReadOutstanding = false;
    CancelStep step;
    if (!f.Cancels.empty()) {
      step = f.Cancels.front();
      f.Cancels.pop_front();
    }
    f.Calls.push_back(step.Stuck ? "cancel read (stuck)" : "cancel read");
    *byte = step.Byte;
    *count = step.Count;
    if (step.Stuck) f.LastError = DEVICE_ERROR_TIMEOUT;
    return step.Stuck ? DeviceIoResult::Stuck : DeviceIoResult::Done;
  };
  p.Close = [](void* c, DeviceHandle device, bool removal) {
    FakeDevice& f = Fake(c);
    EXPECT_EQ(device, reinterpret_cast<DeviceHandle>(f.NextHandle));
    f.Calls.push_back(removal ? "close (removal)" : "close");
    --f.OpenHandles;
    f.ReadOutstanding = false;
    f.WriteOutstanding.clear();
    if (!f.ReuseHandles) ++f.NextHandle;
  };
  p.LastError = [](void* c) { return Fake(c).LastError; };
  p.Sleep = [](void* c, std::uint32_t ms, DevicePause pause) {
    FakeDevice& f = Fake(c);
    const char* kind = pause == DevicePause::AfterEvent ? "sleep " : pause == DevicePause::Backoff ? "backoff " : "pause ";
    std::string call = kind;
    call += std::to_string(ms);
    f.Calls.push_back(call);
    if (f.DuringSleep) std::exchange(f.DuringSleep, nullptr)();
  };
  p.WaitForWake = [](void* c) {
    FakeDevice& f = Fake(c);
    f.Calls.push_back("wait for wake");
    if (f.DuringWait) std::exchange(f.DuringWait, nullptr)();
  };
  p.PlayCue = [](void* c, SoundCue cue) {
    Fake(c).Calls.push_back(cue == CUE_LEFT_CLICK ? "cue left" : cue == CUE_RIGHT_CLICK ? "cue right" : "cue other");
  };
  p.ShowIndicator = [](void* c) { Fake(c).Calls.push_back("indicator"); };
  p.RepaintButton = [](void* c) { Fake(c).Calls.push_back("repaint button"); };
  p.PublishLog = [](void* c) {
    FakeDevice& f = Fake(c);
    f.Calls.push_back("show log");
    f.ShownLogs.emplace_back(f.State->LogText.data());
  };
  p.ClearLog = [](void* c) {
    FakeDevice& f = Fake(c);
    f.Calls.push_back("clear log");
    ClearLogText(*f.State);
    f.ShownLogs.emplace_back(f.State->LogText.data());
  };
  p.ShowStatusWindow = [](void* c) { Fake(c).Calls.push_back("show status"); };
  p.StartDelayedHide = [](void* c) { Fake(c).Calls.push_back("delayed hide"); };
  p.Notice = [](void* c, DeviceNotice notice, std::uint32_t error, const wchar_t*) {
    const char* names[] = {"connected", "attempt failed", "lost", "left", "taken back"};
    std::string text = names[static_cast<int>(notice)];
    text += ' ';
    text += std::to_string(error);
    Fake(c).Notices.push_back(text);
  };
  return p;
}

using Calls = std::vector<std::string>;

class DeviceLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    device.State = &state;
    platform = device.Platform();
    LogLine(state, L"banner\r\n");
  }
  void TearDown() override { StoreDevicePath(state, nullptr); }

  // Runs one pass and returns the calls it made.
  Calls Pass() {
    device.Calls.clear();
    RunDevicePass(state, platform, loop);
    return device.Calls;
  }

  AppStateRecord state;
  FakeDevice device;
  DevicePlatform platform;
  DeviceLoopState loop;
};

const Calls kRetryNotConnected = {"show log", "pause 2000", "clear log", "pause 200"};

Calls Join(Calls a, const Calls& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(DeviceLoop, NoControllerShowsDiscoveryLinesWithTheRetryLineThenBlanksAndWaits) {
  device.Present = false;
  EXPECT_EQ(Pass(), Join({"find"}, kRetryNotConnected));
  ASSERT_EQ(device.ShownLogs.size(), 2u);
  EXPECT_EQ(device.ShownLogs[0], std::wstring(L"banner\r\n") + kEnumError + kEnumFailed + kRetryLine);
  EXPECT_EQ(device.ShownLogs[1], L"");  // banner gone from the second attempt on
  EXPECT_EQ(state.DevicePath, nullptr);
  EXPECT_FALSE(loop.Connected);

  // The next attempt starts at once with a fresh discovery; failures while never connected do not
  // bring the status window back.
  EXPECT_EQ(Pass(), Join({"find"}, kRetryNotConnected));
  EXPECT_EQ(device.ShownLogs[2], std::wstring(kEnumError) + kEnumFailed + kRetryLine);
}

TEST_F(DeviceLoop, OpenFailureLogsItsCodeAndRetries) {
  device.OpenError = 3;
  EXPECT_EQ(Pass(), Join({"find", "open"}, kRetryNotConnected));
  EXPECT_EQ(device.ShownLogs[0], std::wstring(L"banner\r\nCannot open error 3\r\n") + kRetryLine);
  EXPECT_NE(state.DevicePath, nullptr);  // the path of the latest discovery is kept
  EXPECT_FALSE(loop.Connected);
}

TEST_F(DeviceLoop, ConnectShowsConnectOkStartsTheHideAndSendsOnlyThePendingSetup) {
  RaisePending(state.SetupPending);  // the settings dialog's initialisation
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "read", "sleep 10"}));
  EXPECT_EQ(device.ShownLogs[0], L"banner\r\nConnect OK!\r\n");
  EXPECT_EQ(std::wstring(state.DevicePath), device.Path);
  EXPECT_FALSE(IsPending(state.SetupPending));

  // Nothing more goes out until something changes.
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  EXPECT_EQ(device.Received, (std::vector<std::uint8_t>{0x00, 0x01, 0x64, 0x00}));

  // The button changes: its command follows on the next pass.
  ToggleButtonActive(state);
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "read", "sleep 10"}));
}

// A failed or short write keeps its command pending; the first failure of a streak is logged, each
// failing pass backs off longer (a pause the pending command does not cut short), and a read that
// completes ends the streak. The connection stays.
TEST_F(DeviceLoop, FailedOrShortWritesStayPendingAndRetryWithoutDroppingTheConnection) {
  RequestSetup(state, SetupAndWait(DEFAULT_BUTTON_SETUP, 100));
  ToggleButtonActive(state);
  device.Writes = {{false, 0}, {true, 1}, {true, -1}, {true, 0}, {true, -1}};
  // Pass 1: setup fails outright; the button waits.
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "show log", "backoff 100"}));
  // Pass 2: setup cut short. Pass 3: setup taken whole, button taken nothing.
  EXPECT_EQ(Pass(), (Calls{"write 00 01 64 00", "backoff 200"}));
  EXPECT_EQ(Pass(), (Calls{"write 00 01 64 00", "write 01 01", "backoff 400"}));
  // Pass 4: button taken whole; the read ends the streak.
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "read", "sleep 10"}));
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  EXPECT_TRUE(loop.Connected);
  EXPECT_EQ(loop.FailureStreak, 0u);
  EXPECT_EQ(std::wstring(state.LogText.data()), L"banner\r\nConnect OK!\r\nWrite failed 31\r\n");
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0"}));
}

TEST_F(DeviceLoop, ReadFailingWithIoPendingCountsAsDone) {
  Pass();
  device.Reads = {ReadError(DEVICE_ERROR_IO_PENDING), {false, DEVICE_ERROR_IO_PENDING, EVENT_RIGHT_CLICK, 1}};
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  // A pending read that still delivered one byte is dispatched like any other.
  EXPECT_EQ(Pass(), (Calls{"read", "indicator", "cue right", "sleep 10"}));
  EXPECT_TRUE(loop.Connected);
}

TEST_F(DeviceLoop, LostConnectionLogsReadFailedShowsTheWindowClosesAndReconnects) {
  Pass();
  ClearLogText(state);
  device.Reads = {ReadError(109)};
  EXPECT_EQ(Pass(), (Calls{"read", "show log", "show status", "close", "pause 2000", "clear log", "pause 200"}));
  EXPECT_EQ(device.ShownLogs.back(), L"");
  EXPECT_EQ(device.ShownLogs[device.ShownLogs.size() - 2], std::wstring(L"Read failed 109\r\n") + kRetryLine);
  EXPECT_FALSE(loop.Connected);
  EXPECT_EQ(device.OpenHandles, 0);

  // Controller gone: the window stays as it is (not shown again) while discovery fails.
  device.Present = false;
  EXPECT_EQ(Pass(), Join({"find"}, kRetryNotConnected));
  EXPECT_EQ(state.DevicePath, nullptr);  // the old path is released with the failed discovery

  device.Present = true;
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "read", "sleep 10"}));
  EXPECT_EQ(device.OpenHandles, 1);
}

TEST_F(DeviceLoop, PendingCommandsOutliveALostConnectionAndFollowTheNextConnectOk) {
  RaisePending(state.SetupPending);
  device.Writes = {{false, 0}};  // the first setup write fails, then the read loses the device
  device.Reads = {ReadError(233)};
  Pass();
  EXPECT_TRUE(IsPending(state.SetupPending));

  // While no controller is there the user arms the button and changes the settings.
  device.Present = false;
  Pass();
  ToggleButtonActive(state);
  RequestSetup(state, SetupAndWait(SETUP_RIGHT_SOUND, 500));
  RequestSetup(state, SetupAndWait(SETUP_RIGHT_SOUND, 450));  // requests before a send collapse into one command
  Pass();

  device.Present = true;
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 00 C2 01", "write 01 01", "read",
                           "sleep 10"}));
  EXPECT_FALSE(IsPending(state.SetupPending));
  EXPECT_FALSE(IsPending(state.ButtonCommandPending));

  // A new connection by itself sends nothing.
  device.Reads = {ReadError(233)};
  Pass();
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "read", "sleep 10"}));
}

TEST_F(DeviceLoop, EventBytesDispatchByBitAndFeatureWord) {
  Pass();
  struct Case {
    std::uint32_t Setup;
    ReadStep Read;
    Calls Expected;
  };
  const std::uint32_t all = SETUP_LEFT_SOUND | SETUP_RIGHT_SOUND | SETUP_RIGHT_FLASH;
  const Case cases[] = {
      {all, Event(0x00), {"read", "sleep 10"}},
      {all, Event(0x04), {"read", "sleep 10"}},
      {all, {true, 0, EVENT_RIGHT_CLICK, 0}, {"read", "sleep 10"}},  // no byte read
      {all, {true, 0, EVENT_RIGHT_CLICK, 2}, {"read", "sleep 10"}},  // not exactly one byte
      {all, Event(0x01), {"read", "cue left", "sleep 10"}},
      {all, Event(0x02), {"read", "indicator", "cue right", "sleep 10"}},
      {all, Event(0x03), {"read", "cue left", "sleep 10"}},
      {all & ~SETUP_LEFT_SOUND, Event(0x03), {"read", "indicator", "cue right", "sleep 10"}},
      {all & ~SETUP_LEFT_SOUND, Event(0x01), {"read", "sleep 10"}},
      // The indicator is asked for even with the flash bit clear; it decides itself.
      {0, Event(0x02), {"read", "indicator", "sleep 10"}},
  };
  for (const Case& c : cases) {
    state.ButtonSetup = c.Setup;
    device.Reads = {c.Read};
    EXPECT_EQ(Pass(), c.Expected) << "setup " << c.Setup << " byte " << int{c.Read.Byte} << " count " << c.Read.Count;
  }
  EXPECT_TRUE(device.Received.empty());
}

TEST_F(DeviceLoop, OnceOnlyDisarmsAnArmedButtonOnceAndTellsTheController) {
  state.ButtonSetup = SETUP_ONCE_ONLY | SETUP_FUNCTION_BUTTON | SETUP_RIGHT_SOUND;
  Pass();
  ToggleButtonActive(state);
  device.Reads = {Event(EVENT_RIGHT_CLICK), Event(EVENT_RIGHT_CLICK), Event(EVENT_RIGHT_CLICK)};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "read", "indicator", "repaint button", "cue right", "sleep 10"}));
  EXPECT_EQ(state.ButtonActive.load(), 0u);
  EXPECT_EQ(Pass(), (Calls{"write 01 00", "read", "indicator", "cue right", "sleep 10"}));
  EXPECT_EQ(Pass(), (Calls{"read", "indicator", "cue right", "sleep 10"}));

  // Without once-only an armed button stays armed.
  state.ButtonSetup = SETUP_FUNCTION_BUTTON;
  ToggleButtonActive(state);
  device.Reads = {Event(EVENT_RIGHT_CLICK)};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "read", "indicator", "sleep 10"}));
  EXPECT_EQ(state.ButtonActive.load(), 1u);
  EXPECT_EQ(device.Received, (std::vector<std::uint8_t>{0x01, 0x01, 0x01, 0x00, 0x01, 0x01}));
}

TEST_F(DeviceLoop, EachDiscoveryReplacesTheKeptPath) {
  Pass();
  const wchar_t* first = state.DevicePath;
  ASSERT_NE(first, nullptr);
  device.Reads = {ReadError(109)};
  Pass();
  device.Path = L"\\\\?\\root#other#0000#{b1b46d01-f5fe-428a-b21b-2d91557ddf75}";
  EXPECT_EQ(Pass()[1], "open");
  EXPECT_EQ(std::wstring(state.DevicePath), device.Path);
}

}  // namespace

namespace {

// A request that lands while a command is being written (the other thread runs inside the write)
// raises the flag anew: the next pass sends a second command with the latest state.
TEST_F(DeviceLoop, ARequestMadeDuringAWriteGoesOutOnTheNextPass) {
  Pass();
  ToggleButtonActive(state);
  device.DuringWrite = [&] { ToggleButtonActive(state); };
  // The wake of that request may have been spent on the write's wait: the pass ends before reading.
  EXPECT_EQ(Pass(), (Calls{"write 01 01"}));
  EXPECT_EQ(Pass(), (Calls{"write 01 00", "read", "sleep 10"}));

  RequestSetup(state, SetupAndWait(DEFAULT_BUTTON_SETUP, 200));
  device.DuringWrite = [&] { RequestSetup(state, SetupAndWait(DEFAULT_BUTTON_SETUP, 300)); };
  EXPECT_EQ(Pass(), (Calls{"write 00 01 C8 00"}));
  EXPECT_EQ(Pass(), (Calls{"write 00 01 2C 01", "read", "sleep 10"}));
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
}

// A read held by the driver is woken by a request: the pass ends without the pause and the next
// one sends at once. Neither loses the connection or logs anything. A read that ends cancelled
// (not by this thread) is no loss either, but is logged and backs off.
TEST_F(DeviceLoop, WokenReadsAreNoLossAndACancelledReadBacksOff) {
  Pass();
  ToggleButtonActive(state);  // lands while the thread waits in the read
  device.Reads = {kWoken, ReadError(DEVICE_ERROR_OPERATION_ABORTED), Event(EVENT_RIGHT_CLICK)};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "read"}));
  EXPECT_EQ(std::wstring(state.LogText.data()), L"banner\r\nConnect OK!\r\n");
  EXPECT_EQ(Pass(), (Calls{"read", "show log", "backoff 100"}));
  EXPECT_EQ(Pass(), (Calls{"read", "indicator", "cue right", "sleep 10"}));
  EXPECT_TRUE(loop.Connected);
  EXPECT_EQ(std::wstring(state.LogText.data()), L"banner\r\nConnect OK!\r\nRead failed 995\r\n");
}

// Only the copy in the console's session holds the controller: it lets go once, says why once,
// waits without retrying, and on getting the console back connects and sends the setup again.
TEST_F(DeviceLoop, AnotherSessionOnTheConsoleGetsTheControllerUntilTheConsoleComesBack) {
  RaisePending(state.SetupPending);
  Pass();
  EXPECT_EQ(state.OpenDevice.load(), reinterpret_cast<NativeHandle>(device.NextHandle));
  ClearLogText(state);

  state.DeviceAllowed = 0;
  EXPECT_EQ(Pass(), (Calls{"close", "show log", "delayed hide", "wait for wake"}));
  EXPECT_EQ(device.ShownLogs.back(), L"Another user session has the screen: touch controller left to it.\r\n");
  EXPECT_EQ(device.OpenHandles, 0);
  EXPECT_EQ(state.OpenDevice.load(), nullptr);
  ToggleButtonActive(state);  // queued while away: kept for later
  EXPECT_EQ(Pass(), (Calls{"wait for wake"}));

  state.DeviceAllowed = 1;
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "write 01 01", "read",
                           "sleep 10"}));

  // Away while no controller is found: no more attempts, one line.
  device.Reads = {ReadError(109)};
  device.Present = false;
  Pass();
  state.DeviceAllowed = 0;
  EXPECT_EQ(Pass(), (Calls{"show log", "delayed hide", "wait for wake"}));
  EXPECT_EQ(Pass(), (Calls{"wait for wake"}));
}

// A removal notice for the open handle closes it at once and runs the retry tail; a notice for a
// handle that is not the open one changes nothing.
TEST_F(DeviceLoop, RemovalOfTheOpenHandleClosesItAndRetries) {
  Pass();
  state.DeviceToRelease = reinterpret_cast<NativeHandle>(device.NextHandle + 7);
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  state.DeviceToRelease = state.OpenDevice.load();
  EXPECT_EQ(Pass(), (Calls{"show log", "show status", "close (removal)", "pause 2000", "clear log", "pause 200"}));
  EXPECT_EQ(device.OpenHandles, 0);
  EXPECT_EQ(state.OpenDevice.load(), nullptr);
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "read", "sleep 10"}));
}

// A stop ends the loop after the pass in which it lands, with the controller let go; a stop
// while another session has the console ends the wait.
TEST_F(DeviceLoop, StopEndsTheLoopAndLetsGoOfTheController) {
  RaisePending(state.SetupPending);
  device.DuringWrite = [&] { RequestDeviceStop(state); };
  device.Calls.clear();
  RunDeviceLoop(state, platform, loop);
  EXPECT_EQ(device.Calls, (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "read", "sleep 10",
                                 "close"}));
  EXPECT_EQ(device.OpenHandles, 0);

  state.DeviceStopPending = 0;
  state.DeviceAllowed = 0;
  device.DuringWait = [&] { RequestDeviceStop(state); };
  device.Calls.clear();
  RunDeviceLoop(state, platform, loop);
  EXPECT_EQ(device.Calls, (Calls{"show log", "delayed hide", "wait for wake"}));
}

// The driver holds a write: its wait ends on a wake. A stop, the console leaving or a removal of
// the open handle lets go of the controller without waiting for the write (its command stays
// pending for the next connection); any other request waits on for the same write.
TEST_F(DeviceLoop, AHeldWriteIsLetGoForAStopTheConsoleLeavingOrARemovalOnly) {
  Pass();
  RequestSetup(state, SetupAndWait(DEFAULT_BUTTON_SETUP, 100));
  device.Writes = {WriteWait(DeviceIoResult::Woken), WriteWait(DeviceIoResult::Woken), {}};
  device.DuringWrite = [&] { ToggleButtonActive(state); };
  // Woken by the toggle, then by nothing the loop must act on: the same write, then the button's.
  EXPECT_EQ(Pass(), (Calls{"write 00 01 64 00", "wait write", "wait write", "write 01 01", "read", "sleep 10"}));
  EXPECT_EQ(device.Received, (std::vector<std::uint8_t>{0x00, 0x01, 0x64, 0x00, 0x01, 0x01}));

  // The console leaves while the write is held.
  RequestSetup(state, SetupAndWait(DEFAULT_BUTTON_SETUP, 200));
  device.Writes = {WriteWait(DeviceIoResult::Woken)};
  device.DuringWrite = [&] { SetDeviceAllowed(state, false); };
  EXPECT_EQ(Pass(), (Calls{"write 00 01 C8 00", "close", "show log", "delayed hide"}));
  EXPECT_TRUE(IsPending(state.SetupPending));
  EXPECT_EQ(device.OpenHandles, 0);
  // ...and comes back: the command goes out on the new connection.
  SetDeviceAllowed(state, true);
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 C8 00", "read", "sleep 10"}));

  // A removal of the open handle while the write is held.
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Woken)};
  device.DuringWrite = [&] { RequestDeviceRelease(state, state.OpenDevice.load()); };
  EXPECT_EQ(Pass(), (Calls{"write 01 00"}));
  EXPECT_EQ(Pass(), (Calls{"show log", "show status", "close (removal)", "pause 2000", "clear log", "pause 200"}));
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));

  // A stop while the write is held: the loop ends without waiting for it.
  Pass();
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Woken)};
  device.DuringWrite = [&] { RequestDeviceStop(state); };
  device.Calls.clear();
  RunDeviceLoop(state, platform, loop);
  EXPECT_EQ(device.Calls, (Calls{"write 01 01", "close"}));
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));
  EXPECT_EQ(device.OpenHandles, 0);
}

// A driver that holds a write behind its held read, or refuses a write while a read is
// outstanding: the read is cancelled, the write goes through, and a new read follows. A byte the
// driver delivered before the cancel is acted on once, never lost and never read twice.
TEST_F(DeviceLoop, AWriteHeldOrRefusedBesideAnOutstandingReadCancelsTheReadAndKeepsItsByte) {
  Pass();
  // Held behind the read; the cancelled read had a right click in it.
  device.Reads = {kWoken};
  EXPECT_EQ(Pass(), (Calls{"read"}));
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Held), {}};
  device.Cancels = {{EVENT_RIGHT_CLICK, 1}};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read", "indicator", "cue right", "wait write", "read", "sleep 10"}));

  // Refused beside the read; the cancelled read ends without a byte; the write is made again.
  device.Reads = {kWoken};
  Pass();
  ToggleButtonActive(state);
  device.Writes = {{false, 0, 1}, {}};
  EXPECT_EQ(Pass(), (Calls{"write 01 00", "cancel read", "write 01 00", "read", "sleep 10"}));
  EXPECT_EQ(device.Received, (std::vector<std::uint8_t>{0x01, 0x01, 0x01, 0x00}));
  EXPECT_EQ(std::wstring(state.LogText.data()), L"banner\r\nConnect OK!\r\n");

  // Refused again after the cancel: a failing pass like any other.
  device.Reads = {kWoken};
  Pass();
  ToggleButtonActive(state);
  device.Writes = {{false, 0, 1}, {false, 0, 1}};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read", "write 01 01", "show log", "backoff 100"}));
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));
}

// A held write whose wait then fails: the read was cancelled once already, so the touch it had
// read is acted on once (one ring, one sound), and the failure backs off as any other.
TEST_F(DeviceLoop, AHeldWriteThatThenFailsCancelsTheReadOnlyOnce) {
  Pass();
  device.Reads = {kWoken};
  Pass();
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Held), {false, 0, 31}};
  device.Cancels = {{EVENT_RIGHT_CLICK, 1}, {EVENT_RIGHT_CLICK, 1}};  // the same completed read, if asked again
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read", "indicator", "cue right", "wait write", "show log",
                           "backoff 100"}));
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));
}

// A write refused beside a read whose cancel the driver never completes: the controller is let go
// (the retry tail reconnects), not written to again and again.
TEST_F(DeviceLoop, ARefusedWriteWhoseReadCancelIsStuckLetsGoOfTheController) {
  Pass();
  device.Reads = {kWoken};
  Pass();
  ToggleButtonActive(state);
  device.Writes = {{false, 0, 1}};
  device.Cancels = {{0, 0, true}};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read (stuck)", "show log", "show status", "close", "pause 2000",
                           "clear log", "pause 200"}));
  EXPECT_EQ(device.OpenHandles, 0);
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 1460"}));
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));
}

// A command waits at most 50 ms behind a read the driver holds, then the read is cancelled so an
// armed button reaches the controller before the next touch; with no read outstanding a write is
// waited for as long as the driver takes.
TEST_F(DeviceLoop, AWriteBesideAnOutstandingReadCountsAsHeldAfter50Ms) {
  Pass();
  device.Reads = {kWoken};
  Pass();
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Held), {}};
  device.WriteLimits.clear();
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read", "wait write", "read", "sleep 10"}));
  ToggleButtonActive(state);
  Pass();
  EXPECT_EQ(device.WriteLimits, (std::vector<std::uint32_t>{50, DEVICE_WAIT_FOREVER, DEVICE_WAIT_FOREVER}));
}

// A cancel the driver never completes (of the read, or of a write it held too long): the handle is
// closed anyway, the loss is told once with a timeout, and the thread goes on with the retry tail.
TEST_F(DeviceLoop, ACancelTheDriverNeverCompletesClosesTheHandleAndRetries) {
  Pass();
  device.Reads = {kWoken};
  Pass();
  ClearLogText(state);
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Held)};
  device.Cancels = {{0, 0, true}};
  EXPECT_EQ(Pass(), (Calls{"write 01 01", "cancel read (stuck)", "show log", "show status", "close", "pause 2000",
                           "clear log", "pause 200"}));
  EXPECT_EQ(device.ShownLogs[device.ShownLogs.size() - 2], std::wstring(L"Write failed 1460\r\n") + kRetryLine);
  EXPECT_EQ(device.OpenHandles, 0);
  EXPECT_TRUE(IsPending(state.ButtonCommandPending));

  // A write whose cancel the driver ignores, with no read outstanding.
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 01 01", "read", "sleep 10"}));
  ToggleButtonActive(state);
  device.Writes = {WriteWait(DeviceIoResult::Stuck)};
  EXPECT_EQ(Pass(), (Calls{"write 01 00", "show log", "show status", "close", "pause 2000", "clear log",
                           "pause 200"}));
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 1460", "connected 0", "lost 1460"}));
}

// No failure mode spins the thread: writes that always fail, and reads that end at once with 995
// (or a driver that keeps answering so), are logged once, back off 100, 200, 400 ms, and the
// fourth failure in a row lets go of the controller: one loss, the retry tail, a new connection.
TEST_F(DeviceLoop, AFailureStreakIsLoggedOnceBacksOffAndFallsBackToTheRetryTail) {
  const Calls fallBack = {"show log", "show status", "close", "pause 2000", "clear log", "pause 200"};
  RaisePending(state.SetupPending);
  device.Writes.assign(4, WriteStep{false, 0, 31});
  Pass();
  EXPECT_EQ(Pass(), (Calls{"write 00 01 64 00", "backoff 200"}));
  EXPECT_EQ(Pass(), (Calls{"write 00 01 64 00", "backoff 400"}));
  EXPECT_EQ(Pass(), Join({"write 00 01 64 00"}, fallBack));
  EXPECT_EQ(device.ShownLogs[device.ShownLogs.size() - 2],
            std::wstring(L"banner\r\nConnect OK!\r\nWrite failed 31\r\n") + kRetryLine);
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 31"}));
  // Reconnected, the command still pending goes out.
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "read", "sleep 10"}));

  const ReadStep aborted = ReadError(DEVICE_ERROR_OPERATION_ABORTED);
  device.Reads = {aborted, aborted, aborted, aborted};
  EXPECT_EQ(Pass(), (Calls{"read", "show log", "backoff 100"}));
  EXPECT_EQ(Pass(), (Calls{"read", "backoff 200"}));
  EXPECT_EQ(Pass(), (Calls{"read", "backoff 400"}));
  EXPECT_EQ(Pass(), Join({"read"}, fallBack));
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 31", "connected 0", "lost 995"}));
  const std::wstring shown = device.ShownLogs[device.ShownLogs.size() - 2];
  EXPECT_EQ(shown.substr(shown.find(L"Read")), std::wstring(L"Read failed 995\r\n") + kRetryLine);
}

// A controller that fails again right after a reconnect gets its log line and backoff again: the
// streak of the connection before does not carry over and drop it at its first failure.
TEST_F(DeviceLoop, AFailureStreakStartsAfreshAfterAReconnect) {
  RaisePending(state.SetupPending);
  device.Writes.assign(5, WriteStep{false, 0, 31});
  for (int pass = 0; pass < 4; ++pass) Pass();  // backoff 100, 200, 400, then let go
  ASSERT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 31"}));
  ClearLogText(state);
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "write 00 01 64 00", "show log",
                           "backoff 100"}));
  EXPECT_EQ(std::wstring(state.LogText.data()), L"Connect OK!\r\nWrite failed 31\r\n");
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 31", "connected 0"}));
}

// Which request cuts which pause short. A stop and the console leaving cut every pause; a queued
// command only the pause after an event (not the backoff of a failing one, nor the retry, which
// would spin); a removal the pauses while connected; a request to connect at once only the retry.
TEST(DevicePauses, EachRequestCutsShortOnlyThePausesItConcerns) {
  struct Case {
    const char* Request;
    void (*Make)(AppStateRecord&);
    bool Attention, AfterEvent, Backoff, RetryTail;
  };
  static int handle = 0;
  const Case cases[] = {
      {"nothing", [](AppStateRecord&) {}, false, false, false, false},
      {"stop", [](AppStateRecord& s) { RequestDeviceStop(s); }, true, true, true, true},
      {"console away", [](AppStateRecord& s) { SetDeviceAllowed(s, false); }, true, true, true, true},
      {"console here", [](AppStateRecord& s) { SetDeviceAllowed(s, true); }, false, false, false, false},
      {"setup", [](AppStateRecord& s) { RequestSetup(s, SetupAndWait(15, 100)); }, false, true, false, false},
      {"button", [](AppStateRecord& s) { ToggleButtonActive(s); }, false, true, false, false},
      {"removal", [](AppStateRecord& s) { RequestDeviceRelease(s, &handle); }, false, true, true, false},
      {"connect now", [](AppStateRecord& s) { RequestDeviceAttempt(s); }, false, false, false, true},
  };
  for (const Case& c : cases) {
    AppStateRecord s;
    c.Make(s);
    EXPECT_EQ(DeviceAttentionPending(s), c.Attention) << c.Request;
    EXPECT_EQ(DevicePauseEnds(s, DevicePause::AfterEvent), c.AfterEvent) << c.Request;
    EXPECT_EQ(DevicePauseEnds(s, DevicePause::Backoff), c.Backoff) << c.Request;
    EXPECT_EQ(DevicePauseEnds(s, DevicePause::RetryTail), c.RetryTail) << c.Request;
  }
}

// Windows often gives a new handle the value of the one just closed. A removal request is consumed
// by the pass that meets it, so the reopened handle with the same value is not closed again.
TEST_F(DeviceLoop, AReconnectAfterARemovalMayGetTheSameHandleValueBack) {
  device.ReuseHandles = true;
  Pass();
  const NativeHandle first = state.OpenDevice.load();
  RequestDeviceRelease(state, first);
  EXPECT_EQ(Pass(), (Calls{"show log", "show status", "close (removal)", "pause 2000", "clear log", "pause 200"}));
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "read", "sleep 10"}));
  ASSERT_EQ(state.OpenDevice.load(), first);
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));
  EXPECT_TRUE(loop.Connected);
  EXPECT_EQ(device.Notices, (std::vector<std::string>{"connected 0", "lost 0", "connected 0"}));
}

// The controller's interface arrives (or its removal is called off) during the retry pause: the
// request is taken by the next pass, which connects; one taken while connected does not linger to
// cut a later retry pause short.
TEST_F(DeviceLoop, ARequestToConnectAtOnceIsTakenByTheNextPass) {
  device.Present = false;
  device.DuringSleep = [&] { RequestDeviceAttempt(state); };
  Pass();
  EXPECT_TRUE(DevicePauseEnds(state, DevicePause::RetryTail));
  device.Present = true;
  EXPECT_EQ(Pass(), (Calls{"find", "open", "show log", "delayed hide", "read", "sleep 10"}));
  EXPECT_FALSE(DevicePauseEnds(state, DevicePause::RetryTail));
  RequestDeviceAttempt(state);
  Pass();
  EXPECT_FALSE(DevicePauseEnds(state, DevicePause::RetryTail));
}

TEST(RemovalNotice, OnlyAQueryOrCompletedRemovalOfTheOpenHandleReleasesIt) {
  int device = 0, other = 0;
  EXPECT_TRUE(RemovalReleasesDevice(DEVICE_NOTICE_QUERY_REMOVE, DEVICE_NOTICE_HANDLE, &device, &device));
  EXPECT_TRUE(RemovalReleasesDevice(DEVICE_NOTICE_REMOVE_COMPLETE, DEVICE_NOTICE_HANDLE, &device, &device));
  EXPECT_FALSE(RemovalReleasesDevice(0x8002, DEVICE_NOTICE_HANDLE, &device, &device));  // query failed
  EXPECT_FALSE(RemovalReleasesDevice(0x8003, DEVICE_NOTICE_HANDLE, &device, &device));  // removal pending
  EXPECT_FALSE(RemovalReleasesDevice(DEVICE_NOTICE_QUERY_REMOVE, 5, &device, &device));  // an interface
  EXPECT_FALSE(RemovalReleasesDevice(DEVICE_NOTICE_QUERY_REMOVE, DEVICE_NOTICE_HANDLE, &other, &device));
  EXPECT_FALSE(RemovalReleasesDevice(DEVICE_NOTICE_REMOVE_COMPLETE, DEVICE_NOTICE_HANDLE, nullptr, nullptr));
}

// After a query closed the handle, its registration is kept until the outcome: a completed
// removal unregisters it, a failed one unregisters it and connects again at once. Notices of other
// registrations, or of nothing left, change nothing.
TEST(RemovalNotice, TheOutcomeOfARemovalForgetsItsRegistrationAndAFailedOneConnectsAgain) {
  int open = 0, closed = 0, left = 0, other = 0;
  struct Case {
    std::uint32_t Event;
    const void *Handle, *Registration, *Open, *Left;
    bool Release, Forget, ConnectNow;
  };
  const Case cases[] = {
      {DEVICE_NOTICE_QUERY_REMOVE, &open, &other, &open, nullptr, true, false, false},
      {DEVICE_NOTICE_REMOVE_COMPLETE, &open, &other, &open, nullptr, true, false, false},  // no query came
      {DEVICE_NOTICE_REMOVE_COMPLETE, &closed, &left, nullptr, &left, false, true, false},
      {DEVICE_NOTICE_QUERY_REMOVE_FAILED, &closed, &left, nullptr, &left, false, true, true},
      {DEVICE_NOTICE_QUERY_REMOVE_FAILED, &closed, &other, nullptr, &left, false, false, false},
      {DEVICE_NOTICE_QUERY_REMOVE_FAILED, &open, &other, &open, nullptr, false, false, false},  // never closed
      {DEVICE_NOTICE_REMOVE_COMPLETE, &closed, nullptr, nullptr, nullptr, false, false, false},
      {0x8003, &closed, &left, nullptr, &left, false, false, false},  // removal pending
  };
  for (const Case& c : cases) {
    const DeviceChangeDecision d = DecideDeviceChange(c.Event, DEVICE_NOTICE_HANDLE, c.Handle, c.Registration, c.Open, c.Left);
    EXPECT_EQ(d.Release, c.Release) << std::hex << c.Event;
    EXPECT_EQ(d.Forget, c.Forget) << std::hex << c.Event;
    EXPECT_EQ(d.ConnectNow, c.ConnectNow) << std::hex << c.Event;
  }
  EXPECT_FALSE(DecideDeviceChange(DEVICE_NOTICE_QUERY_REMOVE_FAILED, 5, &closed, &left, nullptr, &left).ConnectNow);
}

TEST(ConsoleSession, OnlyTheSessionAttachedToTheConsoleHoldsTheController) {
  EXPECT_TRUE(SessionOwnsConsole(1, 1));
  EXPECT_FALSE(SessionOwnsConsole(1, 2));
  EXPECT_FALSE(SessionOwnsConsole(NO_CONSOLE_SESSION, NO_CONSOLE_SESSION));  // mid-switch: nobody
}

}  // namespace

// Lines another thread hands to the log are appended by the next pass, in order and once, also
// while another session has the console; the hand-over wakes the thread.
TEST_F(DeviceLoop, LinesHandedToTheLogAppearOnceAtTheNextPass) {
  static int wakes = 0;
  wakes = 0;
  state.WakeDeviceThread = [] { ++wakes; };
  RaisePending(state.SetupPending);
  Pass();
  ClearLogText(state);
  HandLogLine(state, L"one\r\n");
  HandLogLine(state, L"two\r\n");
  EXPECT_EQ(wakes, 2);
  EXPECT_EQ(Pass(), (Calls{"show log", "read", "sleep 10"}));
  EXPECT_EQ(device.ShownLogs.back(), L"one\r\ntwo\r\n");
  EXPECT_EQ(Pass(), (Calls{"read", "sleep 10"}));

  state.DeviceAllowed = 0;
  Pass();
  const std::wstring before = state.LogText.data();
  HandLogLine(state, L"three\r\n");
  EXPECT_EQ(Pass(), (Calls{"show log", "wait for wake"}));
  EXPECT_EQ(std::wstring(state.LogText.data()), before + L"three\r\n");  // nothing of the lines taken before
}
