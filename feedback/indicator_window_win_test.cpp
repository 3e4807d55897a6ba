// The indicator window and the mouse hook, in this process: a hidden owner window, the windows made
// from the linked resources, pointer moves injected with SendInput, requests from another thread.
#include "feedback/indicator_window.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "win/win_handles.h"
#include "core/app_state.h"
#include "feedback/indicator_rotation.h"
#include "feedback/indicator_source.h"
#include "feedback/mouse_hook.h"
#include "feedback/popup_win_test_support.h"
#include "feedback/rotate_indicator_win.h"
#include "res/resource_ids.h"

namespace {

constexpr int kSide = 127;
constexpr COLORREF kBackdrop = RGB(255, 0, 255);  // not a colour of the indicator image

// Runs fn on a new thread and waits for it without dispatching messages: a call that needed the UI
// thread would not finish in time.
bool RunOnOtherThread(void (*fn)(), DWORD timeoutMs = 2000) {
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* arg) -> DWORD {
        reinterpret_cast<void (*)()>(arg)();
        return 0;
      },
      reinterpret_cast<void*>(fn), 0, nullptr);
  if (!thread) return false;
  const bool finished = WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
  if (!finished) WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return finished;
}

// Counts the events that reach the next hook in the chain: the one installed before ours.
std::atomic<int> DownstreamMoves{0};
std::atomic<int> DownstreamWheels{0};
LRESULT CALLBACK DownstreamHook(int code, WPARAM message, LPARAM event) {
  if (code >= 0 && message == WM_MOUSEMOVE) ++DownstreamMoves;
  if (code >= 0 && message == WM_MOUSEWHEEL) ++DownstreamWheels;
  return CallNextHookEx(nullptr, code, message, event);
}

// Moves the pointer with SendInput and waits until the hook has recorded the move. Under Wine
// SendInput leaves the X server's pointer where it was, and the cursor read falls back to that
// pointer 100 ms after the last input; a real move moves the one pointer, so this moves both.
bool MovePointer(int x, int y) {
  const int before = DownstreamMoves;
  SetCursorPos(x, y);
  if (!SendInputFromOtherThread({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, POINT{x, y})})) return false;
  return PumpUntil(
      [&] {
        return DownstreamMoves > before && AppState.Pointer.load() == PointerWord(x, y);
      },
      3000);
}

HWND Indicator() { return AsWindow(AppState.IndicatorWindow); }

// The indicator image as ReadBitmapPixels gives it (top-down).
std::vector<std::uint32_t> SourcePixels() {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ScopedSelect select(dc.get(), AppState.IndicatorBitmap);
  auto pixels = ReadBitmapPixels(kSide, kSide, dc.get(), AsBitmap(AppState.IndicatorBitmap));
  if (!pixels) return {};
  return std::vector<std::uint32_t>(pixels.get(), pixels.get() + INDICATOR_PIXELS);
}

// What the 127 by 127 window must show at an angle: the rendered frame, centred; its black pixels
// show the backdrop.
std::vector<std::uint32_t> ExpectedWindowPixels(float angle, std::uint32_t backdrop) {
  const auto frame = IndicatorFrameSize(angle);
  const std::vector<std::uint32_t> source = SourcePixels();
  if (!frame || source.empty()) return {};
  std::vector<std::uint32_t> buffer(IndicatorFramePixels(*frame), 0);
  if (!RenderIndicatorFrame(*frame, source, buffer)) return {};
  const int offsetX = IndicatorFrameOffset(frame->width);
  const int offsetY = IndicatorFrameOffset(frame->height);
  std::vector<std::uint32_t> expected(INDICATOR_PIXELS);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int row = frame->height - 1 - (y - offsetY);  // the buffer is bottom-up
      const std::uint32_t p = buffer[static_cast<std::size_t>(row) * frame->width + (x - offsetX)] & 0x00FFFFFFu;
      expected[static_cast<std::size_t>(y) * kSide + x] = p == 0 ? backdrop : p;
    }
  }
  return expected;
}

std::size_t CountDifferences(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  if (a.size() != b.size()) return static_cast<std::size_t>(-1);
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

// A plain coloured window of this thread below the indicator's place; counts the left presses it gets.
std::atomic<int> BackdropPresses{0};
LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) ++BackdropPresses;
  if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return DefWindowProcW(window, message, wParam, lParam);
}

struct Backdrop {
  UniqueGdiObject brush{CreateSolidBrush(kBackdrop)};
  ATOM atom = 0;
  HWND window = nullptr;
  Backdrop(int x, int y, int width, int height) {
    WNDCLASSW backdropClass{};
    backdropClass.lpfnWndProc = BackdropProc;
    backdropClass.hInstance = GetModuleHandleW(nullptr);
    backdropClass.hbrBackground = static_cast<HBRUSH>(brush.get());
    backdropClass.lpszClassName = L"IndicatorTestBackdrop";
    atom = RegisterClassW(&backdropClass);
    window = CreateWindowExW(0, backdropClass.lpszClassName, L"", WS_POPUP, x, y, width, height, nullptr, nullptr,
                             backdropClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
  }
  ~Backdrop() {
    if (window) DestroyWindow(window);
    if (atom) UnregisterClassW(L"IndicatorTestBackdrop", GetModuleHandleW(nullptr));
  }
  Backdrop(const Backdrop&) = delete;
  Backdrop& operator=(const Backdrop&) = delete;
};

class IndicatorWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    AppState.Instance = instance;
    owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    AppState.MainWindow = owner_;
    AppState.IndicatorBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_INDICATOR));
    CreateIndicatorWindow();
    // The counting hook goes first so that it comes after ours in the chain.
    downstream_ = SetWindowsHookExW(WH_MOUSE_LL, DownstreamHook, instance, 0);
    hookStart_ = StartMouseHookThread();
  }

  static void TearDownTestSuite() {
    StopMouseHookThread(2000);
    UnhookWindowsHookEx(downstream_);
    DestroyWindow(Indicator());
    DestroyWindow(owner_);
    DeleteObject(AppState.IndicatorBitmap);
    AppState.IndicatorWindow = nullptr;
    AppState.IndicatorBitmap = nullptr;
    AppState.MainWindow = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(Indicator(), nullptr);
    ASSERT_NE(AppState.IndicatorBitmap, nullptr);
    ASSERT_EQ(hookStart_, static_cast<DWORD>(ERROR_SUCCESS));
    AppState.ButtonSetup = DEFAULT_BUTTON_SETUP;
  }

  void TearDown() override {
    // Let a showing end by itself so the next test starts hidden.
    PumpUntil([] { return !IsWindowVisible(Indicator()); }, 3000);
  }

  // Asks for a showing the way the device thread does, then waits until the window is up.
  static bool RequestAndWaitShown() {
    if (!RunOnOtherThread(ShowIndicator)) return false;
    return PumpUntil([] { return IsWindowVisible(Indicator()) != FALSE; }, 2000);
  }

  static HWND owner_;
  static HHOOK downstream_;
  static DWORD hookStart_;
};

HWND IndicatorWindowTest::owner_ = nullptr;
HHOOK IndicatorWindowTest::downstream_ = nullptr;
DWORD IndicatorWindowTest::hookStart_ = ERROR_INVALID_FUNCTION;

}  // namespace

TEST_F(IndicatorWindowTest, IsAHiddenTopmostLayeredPopupWithBlackAsColourKey) {
  HWND window = Indicator();
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), owner_);
  const RECT r = WindowRect(window);
  EXPECT_EQ(r.right - r.left, kSide);
  EXPECT_EQ(r.bottom - r.top, kSide);
  const LONG exStyle = GetWindowLongW(window, GWL_EXSTYLE);
  EXPECT_NE(exStyle & WS_EX_LAYERED, 0);
  EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
  EXPECT_NE(exStyle & WS_EX_TRANSPARENT, 0);  // taps go through, on the discs too
  EXPECT_NE(exStyle & WS_EX_NOACTIVATE, 0);
  COLORREF key = 1;
  BYTE alpha = 1;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(window, &key, &alpha, &flags));
  EXPECT_EQ(key, RGB(0, 0, 0));
  EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
}

TEST_F(IndicatorWindowTest, HookRecordsEveryMoveAndPassesEveryEventOnUntilItsThreadStops) {
  ASSERT_TRUE(MovePointer(200, 150));
  EXPECT_EQ(AppState.PointerSeen.load(), 1u);
  ASSERT_TRUE(MovePointer(611, 402));

  // A wheel turn is passed on but leaves the recorded position alone.
  AppState.Pointer = PointerWord(-7, 402);
  const int wheels = DownstreamWheels;
  ASSERT_TRUE(SendInputFromOtherThread({MouseInput(MOUSEEVENTF_WHEEL, POINT{}, static_cast<DWORD>(WHEEL_DELTA))}));
  ASSERT_TRUE(PumpUntil([&] { return DownstreamWheels > wheels; }, 3000));
  EXPECT_EQ(AppState.Pointer.load(), PointerWord(-7, 402));
  ASSERT_TRUE(MovePointer(300, 300));

  // Stopped, the hook is gone with its thread: moves still pass, none is recorded. It starts again.
  ASSERT_TRUE(StopMouseHookThread(2000));
  const int moves = DownstreamMoves;
  ASSERT_TRUE(SendInputFromOtherThread({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, POINT{123, 77})}));
  ASSERT_TRUE(PumpUntil([&] { return DownstreamMoves > moves; }, 3000));
  EXPECT_EQ(AppState.Pointer.load(), PointerWord(300, 300));
  hookStart_ = StartMouseHookThread();
  ASSERT_EQ(hookStart_, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(MovePointer(250, 260));
}

TEST_F(IndicatorWindowTest, ShowsOnThePointerFromAnotherThreadAndHidesAfterOneTurn) {
  ASSERT_TRUE(MovePointer(400, 300));
  // The request returns without the UI thread, which alone moves the window.
  ASSERT_TRUE(RunOnOtherThread(ShowIndicator));
  EXPECT_FALSE(IsWindowVisible(Indicator()));
  ASSERT_TRUE(PumpUntil([] { return IsWindowVisible(Indicator()) != FALSE; }, 2000));
  const ULONGLONG shownAt = GetTickCount64();
  EXPECT_EQ(AppState.IndicatorTicksLeft, 24);
  EXPECT_EQ(AppState.IndicatorAngle, 0.0f);
  const RECT r = WindowRect(Indicator());
  EXPECT_EQ(r.left, 400 - 63);
  EXPECT_EQ(r.top, 300 - 63);
  EXPECT_EQ(r.right - r.left, kSide);
  EXPECT_EQ(r.bottom - r.top, kSide);
  EXPECT_NE(GetWindowLongW(Indicator(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);

  // Every tick turns 15 degrees further, one turn in all, ending upright.
  std::vector<float> angles;
  ASSERT_TRUE(PumpUntil(
      [&] {
        if (angles.empty() || angles.back() != AppState.IndicatorAngle) angles.push_back(AppState.IndicatorAngle);
        return !IsWindowVisible(Indicator());
      },
      5000));
  const ULONGLONG elapsed = GetTickCount64() - shownAt;
  EXPECT_GE(elapsed, 800u);  // 24 ticks of 40 ms; timers never fire early
  ASSERT_EQ(angles.size(), 25u);
  for (std::size_t i = 0; i < angles.size(); ++i) EXPECT_EQ(angles[i], static_cast<float>((i * 15) % 360)) << i;
  EXPECT_EQ(AppState.IndicatorTicksLeft, 0);
  EXPECT_EQ(AppState.IndicatorAngle, 0.0f);
}

TEST_F(IndicatorWindowTest, SecondRequestDuringATurnMovesAndRestartsUpright) {
  // Below the second place; made first, so that the indicator lies above it on the X server too.
  const Backdrop backdrop(100, 80, 300, 300);
  ASSERT_NE(backdrop.window, nullptr);
  // Near the screen's corner: placed partly off the screen, not clamped.
  ASSERT_TRUE(MovePointer(20, 10));
  ASSERT_TRUE(RequestAndWaitShown());
  EXPECT_EQ(WindowRect(Indicator()).left, 20 - 63);
  EXPECT_EQ(WindowRect(Indicator()).top, 10 - 63);
  PumpFor(500);
  ASSERT_TRUE(IsWindowVisible(Indicator()));
  EXPECT_GT(AppState.IndicatorAngle, 0.0f);
  EXPECT_LT(AppState.IndicatorTicksLeft, 24);

  ASSERT_TRUE(MovePointer(250, 230));
  ASSERT_TRUE(RunOnOtherThread(ShowIndicator));
  const ULONGLONG restartedAt = GetTickCount64();
  // Stops right after the restart's request, before the next tick.
  ASSERT_TRUE(PumpUntil([] { return WindowRect(Indicator()).left == 250 - 63; }, 2000));
  EXPECT_EQ(WindowRect(Indicator()).top, 230 - 63);
  EXPECT_EQ(AppState.IndicatorAngle, 0.0f);
  EXPECT_EQ(AppState.IndicatorTicksLeft, 24);
  // The new place shows the upright frame, not the old frame carried along.
  UpdateWindow(Indicator());
  WaitWithoutDispatching(100);
  const std::vector<std::uint32_t> upright = ExpectedWindowPixels(0.0f, Rgb(kBackdrop));
  ASSERT_EQ(upright.size(), INDICATOR_PIXELS);
  EXPECT_EQ(CountDifferences(CaptureScreen(250 - 63, 230 - 63, kSide, kSide), upright), 0u);
  EXPECT_EQ(AppState.IndicatorTicksLeft, 24);  // no tick came between

  ASSERT_TRUE(PumpUntil([] { return !IsWindowVisible(Indicator()); }, 5000));
  // The first showing alone would have ended about 460 ms after the second request.
  EXPECT_GE(GetTickCount64() - restartedAt, 800u);
  EXPECT_EQ(AppState.IndicatorAngle, 0.0f);
}

TEST_F(IndicatorWindowTest, FollowsTheCursorWhenTheHookSawNothingOrOnlyAnOldMoveAndNothingWithTheFlashOff) {
  ASSERT_TRUE(MovePointer(500, 400));
  // The hook saw no move (an elevated window has the input): the cursor still places the ring.
  AppState.PointerSeen = 0;
  ASSERT_TRUE(RequestAndWaitShown());
  EXPECT_EQ(WindowRect(Indicator()).left, 500 - 63);
  EXPECT_EQ(WindowRect(Indicator()).top, 400 - 63);
  ASSERT_TRUE(PumpUntil([] { return !IsWindowVisible(Indicator()); }, 3000));

  // The system removed the hook after a stall; it knows only an old move elsewhere.
  AppState.Pointer = PointerWord(5, 7);
  AppState.PointerSeen = 1;
  ASSERT_TRUE(RequestAndWaitShown());
  EXPECT_EQ(WindowRect(Indicator()).left, 500 - 63);
  EXPECT_EQ(WindowRect(Indicator()).top, 400 - 63);
  ASSERT_TRUE(PumpUntil([] { return !IsWindowVisible(Indicator()); }, 3000));

  AppState.ButtonSetup = DEFAULT_BUTTON_SETUP & ~SETUP_RIGHT_FLASH;
  ASSERT_TRUE(RunOnOtherThread(ShowIndicator));
  PumpFor(300);
  EXPECT_FALSE(IsWindowVisible(Indicator()));
  EXPECT_EQ(AppState.IndicatorTicksLeft, 0);

  // Same request with the flash on does show.
  AppState.ButtonSetup = SETUP_RIGHT_FLASH;
  EXPECT_TRUE(RequestAndWaitShown());
}

TEST_F(IndicatorWindowTest, FrameOnScreenIsTheRenderedFrameWithBlackSeeThrough) {
  const std::vector<std::uint32_t> source = SourcePixels();
  ASSERT_EQ(source.size(), INDICATOR_PIXELS);
  for (std::uint32_t p : source) ASSERT_NE(p & 0x00FFFFFFu, Rgb(kBackdrop));

  // A coloured window below the indicator's place; the user's application in front.
  const Backdrop backdrop(250, 150, 300, 300);
  ASSERT_NE(backdrop.window, nullptr);
  HWND app = ShowUserApplication(600, 500, 200, 150);
  ASSERT_NE(app, nullptr);

  ASSERT_TRUE(MovePointer(400, 300));
  ASSERT_TRUE(RequestAndWaitShown());
  // Hold the turn still and draw chosen angles.
  KillTimer(Indicator(), 0);
  for (float angle : {45.0f, 0.0f, 105.0f}) {
    AppState.IndicatorAngle = angle;
    RedrawWindow(Indicator(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(150);
    const std::vector<std::uint32_t> shown = CaptureScreen(400 - 63, 300 - 63, kSide, kSide);
    const std::vector<std::uint32_t> expected = ExpectedWindowPixels(angle, Rgb(kBackdrop));
    ASSERT_EQ(expected.size(), INDICATOR_PIXELS);
    EXPECT_EQ(CountDifferences(shown, expected), 0u) << "angle " << angle;
    // The spot under the pointer is never covered.
    EXPECT_EQ(shown[63 * kSide + 63], Rgb(kBackdrop)) << "angle " << angle;

    // A real tap on a disc goes to the window beneath; the ring takes no foreground.
    std::size_t disc = 0;
    while (disc < shown.size() && shown[disc] == Rgb(kBackdrop)) ++disc;
    ASSERT_LT(disc, shown.size());
    const POINT onDisc{400 - 63 + static_cast<LONG>(disc % kSide), 300 - 63 + static_cast<LONG>(disc / kSide)};
    const int presses = BackdropPresses;
    ASSERT_TRUE(SendInputFromOtherThread({MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, onDisc),
                                          MouseInput(MOUSEEVENTF_LEFTDOWN), MouseInput(MOUSEEVENTF_LEFTUP)}));
    EXPECT_TRUE(PumpUntil([&] { return BackdropPresses > presses; }, 2000)) << "angle " << angle;
    EXPECT_EQ(GetForegroundWindow(), app) << "angle " << angle;
  }

  // A frame that cannot be made shows nothing at all.
  void* bitmap = AppState.IndicatorBitmap;
  AppState.IndicatorBitmap = nullptr;
  RedrawWindow(Indicator(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  PumpFor(150);
  const std::vector<std::uint32_t> failed = CaptureScreen(400 - 63, 300 - 63, kSide, kSide);
  AppState.IndicatorBitmap = bitmap;
  EXPECT_EQ(CountDifferences(failed, std::vector<std::uint32_t>(INDICATOR_PIXELS, Rgb(kBackdrop))), 0u);

  ShowWindow(Indicator(), SW_HIDE);
  AppState.IndicatorTicksLeft = 0;
  AppState.IndicatorAngle = 0.0f;
  DestroyWindow(app);
}

// Under per-monitor awareness a ring placed mostly over a monitor of another scale is told of that
// scale; it keeps the size and place chosen for the touched monitor. Screen readers find nothing in it.
TEST_F(IndicatorWindowTest, KeepsItsSizeAndPlaceOnAScaleChangeAndShowsNothingToScreenReaders) {
  ASSERT_TRUE(MovePointer(420, 310));
  ASSERT_TRUE(RequestAndWaitShown());
  KillTimer(Indicator(), 0);
  const RECT before = WindowRect(Indicator());
  ASSERT_EQ(before.left, 420 - 63);

  SIZE size{1, 1};
  EXPECT_NE(SendMessageW(Indicator(), 0x02E4 /* WM_GETDPISCALEDSIZE */, 192, reinterpret_cast<LPARAM>(&size)), 0);
  EXPECT_EQ(size.cx, kSide);
  EXPECT_EQ(size.cy, kSide);
  RECT suggested{before.left - 100, before.top - 100, before.left - 100 + 2 * kSide, before.top - 100 + 2 * kSide};
  SendMessageW(Indicator(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  const RECT after = WindowRect(Indicator());
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(after.right - after.left, kSide);
  EXPECT_EQ(after.bottom - after.top, kSide);

  // The ring answers for its client area only; the window's own object stays the system's.
  EXPECT_EQ(SendMessageW(Indicator(), WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<DWORD>(OBJID_WINDOW))), 0);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    IAccessible* accessible = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(Indicator(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&accessible)),
              S_OK);
    ASSERT_NE(accessible, nullptr);
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT state{};
    ASSERT_EQ(accessible->get_accState(self, &state), S_OK);
    ASSERT_EQ(state.vt, VT_I4);
    EXPECT_NE(state.lVal & STATE_SYSTEM_INVISIBLE, 0);
    long children = -1;
    EXPECT_EQ(accessible->get_accChildCount(&children), S_OK);
    EXPECT_EQ(children, 0);
    BSTR name = nullptr;
    accessible->get_accName(self, &name);
    EXPECT_EQ(name, nullptr);
    accessible->Release();
  }
  CoUninitialize();

  ShowWindow(Indicator(), SW_HIDE);
  AppState.IndicatorTicksLeft = 0;
  AppState.IndicatorAngle = 0.0f;
}

// The rings of other scales are drawn in the program from the description the generator drew
// bitmap 150 from: flattened over black the way the generator flattens it, the drawing at 127
// must be bitmap 150 to within one step of rounding.
TEST_F(IndicatorWindowTest, RingDrawnInTheProgramFollowsTheGeneratorsDescription) {
  const std::vector<std::uint32_t> bitmap = SourcePixels();
  const std::vector<std::uint32_t> drawn = DrawIndicatorSourceOverBlack(kSide);
  ASSERT_EQ(bitmap.size(), INDICATOR_PIXELS);
  ASSERT_EQ(drawn.size(), INDICATOR_PIXELS);
  std::size_t off = 0;
  for (std::size_t n = 0; n < drawn.size(); ++n) {
    for (int shift : {0, 8, 16}) {
      const int a = static_cast<int>(bitmap[n] >> shift & 0xFF);
      const int b = static_cast<int>(drawn[n] >> shift & 0xFF);
      if (a - b > 1 || b - a > 1) {
        ++off;
        break;
      }
    }
  }
  EXPECT_EQ(off, 0u);
}
