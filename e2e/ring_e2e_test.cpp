// The right-click ring from end to end: shown at the pointer on the controller's right clicks,
// drawn for the display's scale, and letting taps through to the window beneath.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "core/display_scale.h"
#include "device/device_protocol.h"
#include "e2e/device_test.h"
#include "feedback/indicator_rotation.h"
#include "feedback/indicator_source.h"
#include "feedback/popup_win_test_support.h"

namespace {

// The ring's source at a scale, made without the program's window code: bitmap 150 from the
// program's resources at 100 %, the ring drawn from its description at any other side.
std::vector<std::uint32_t> RingSource(int side) {
  if (side != INDICATOR_SIDE) return DrawIndicatorSource(side);
  std::vector<std::uint32_t> pixels;
  HMODULE program = LoadLibraryExW(SiblingProgram(L"Ostinel.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!program) return pixels;
  if (HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(program, MAKEINTRESOURCEW(150), IMAGE_BITMAP, 0, 0,
                                                       LR_CREATEDIBSECTION))) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.resize(static_cast<std::size_t>(side) * side);
    HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, bitmap, 0, static_cast<UINT>(side), pixels.data(), &info, DIB_RGB_COLORS) != side) {
      pixels.clear();
    }
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
  }
  FreeLibrary(program);
  return pixels;
}

// What a ring window of this side shows at each of the 24 steps: the portable rotation of the
// source, centred in the window, its black showing the window beneath.
std::vector<std::vector<std::uint32_t>> RingFrames(int side, std::uint32_t beneath) {
  std::vector<std::vector<std::uint32_t>> frames;
  const std::vector<std::uint32_t> source = RingSource(side);
  if (source.size() != static_cast<std::size_t>(side) * side) return frames;
  for (int step = 0; step < 24; ++step) {
    const auto frame = IndicatorFrameSize(static_cast<float>(step * 15), side);
    if (!frame) return {};
    std::vector<std::uint32_t> buffer(IndicatorFramePixels(*frame), 0);
    if (!RenderIndicatorFrame(*frame, source, buffer)) return {};
    const int offsetX = IndicatorFrameOffset(frame->width, side);
    const int offsetY = IndicatorFrameOffset(frame->height, side);
    std::vector<std::uint32_t> shown(static_cast<std::size_t>(side) * side);
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const int row = frame->height - 1 - (y - offsetY);  // the buffer is bottom-up
        const std::uint32_t p = buffer[static_cast<std::size_t>(row) * frame->width + (x - offsetX)] & 0x00FFFFFFu;
        shown[static_cast<std::size_t>(y) * side + x] = p == 0 ? beneath : p;
      }
    }
    frames.push_back(std::move(shown));
  }
  return frames;
}


TEST_F(DeviceE2e, RightClickEventsShowTheIndicatorAtThePointerOtherBytesDoNothing) {
  StartController(true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(indicator, nullptr);
  SendPointerMove(300, 260);
  Sleep(200);

  // No event, an unknown bit and a left click (click sound only) leave the indicator hidden.
  for (std::uint8_t byte : {0x00, 0x04, 0x01, 0x03}) {
    ASSERT_TRUE(SimSendEvent(*sim, byte));
    EXPECT_FALSE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 300)) << "byte " << int{byte};
  }

  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 1000));
  RECT r{};
  GetWindowRect(indicator, &r);
  EXPECT_EQ(r.left, 300 - 63);
  EXPECT_EQ(r.top, 260 - 63);
  // One turn of 24 ticks of 40 ms, then hidden again.
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(indicator); }, 2500));
  EXPECT_EQ(SimReceivedBytes(*sim).size(), 4u);  // events send nothing back
}

TEST_F(DeviceE2e, TapsOnTheDiscsOfTheSpinningRingReachTheWindowBeneath) {
  StartController(true, true);
  ASSERT_NO_FATAL_FAILURE(LaunchConnected());
  HWND indicator = FindIndicatorWindow(app.Pid());
  ASSERT_NE(indicator, nullptr);
  const UserWindow user(RECT{150, 100, 450, 420});
  ASSERT_NE(user.window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == user.window; }, 2000));

  const POINT at{300, 260};
  PointerTo(at);
  PumpFor(200);
  ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 1000));

  // Tap whatever disc lies at a pixel of the ring, again and again for the whole turn.
  int taps = 0, reached = 0;
  while (IsWindowVisible(indicator)) {
    const std::vector<std::uint32_t> shown = CaptureScreen(at.x - 63, at.y - 63, 127, 127);
    std::size_t disc = (static_cast<std::size_t>(taps) * 997) % shown.size();
    for (std::size_t n = 0; n < shown.size() && shown[disc] == Rgb(kUserColour); ++n) {
      disc = (disc + 1) % shown.size();
    }
    if (shown[disc] == Rgb(kUserColour)) continue;
    const int before = UserPresses;
    Tap(POINT{at.x - 63 + static_cast<LONG>(disc % 127), at.y - 63 + static_cast<LONG>(disc / 127)});
    ++taps;
    if (PumpUntil([&] { return UserPresses > before; }, 500)) ++reached;
  }
  EXPECT_GE(taps, 3);
  EXPECT_EQ(reached, taps);
  EXPECT_EQ(GetForegroundWindow(), user.window);
}

// The ring at the display's scale, from end to end: started at 100, 125, 150 and 200 %, the program
// shows a window of side ScaleToDpi(127, dpi) centred on the pointer, and what it shows is the
// reference frame of that scale.
TEST_F(DeviceE2e, RingIsDrawnForTheDisplaysScaleCentredOnThePointer) {
  const POINT at{350, 310};
  for (DWORD dpi : {96u, 120u, 144u, 192u}) {
    SCOPED_TRACE(testing::Message() << dpi << " dpi");
    const int side = ScaleToDpi(127, dpi);
    const std::vector<std::vector<std::uint32_t>> frames = RingFrames(side, Rgb(kUserColour));
    ASSERT_EQ(frames.size(), 24u);
    const PrefixAtDpi scale(dpi);
    StartController(true, true);
    ASSERT_NO_FATAL_FAILURE(LaunchConnected());
    HWND indicator = FindIndicatorWindow(app.Pid());
    ASSERT_NE(indicator, nullptr);
    const UserWindow user(RECT{at.x - 200, at.y - 200, at.x + 200, at.y + 200});
    ASSERT_NE(user.window, nullptr);
    PointerTo(at);
    PumpFor(200);

    // Up to three showings, for a screen read that falls between two frames on a busy machine.
    int matched = 0;
    for (int showing = 0; showing < 3 && matched == 0; ++showing) {
      ASSERT_TRUE(SimSendEvent(*sim, EVENT_RIGHT_CLICK));
      ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(indicator) != FALSE; }, 2000));
      const RECT r = WindowRect(indicator);
      EXPECT_EQ(r.right - r.left, side);
      EXPECT_EQ(r.bottom - r.top, side);
      EXPECT_EQ(r.left, at.x - side / 2);
      EXPECT_EQ(r.top, at.y - side / 2);
      while (IsWindowVisible(indicator)) {
        PumpFor(15);
        const std::vector<std::uint32_t> shown = CaptureScreen(at.x - side / 2, at.y - side / 2, side, side);
        for (const auto& frame : frames) matched += shown == frame ? 1 : 0;
      }
    }
    EXPECT_GT(matched, 0);
    ProgramTest::TearDown();
    sim.reset();
  }
}

}  // namespace
