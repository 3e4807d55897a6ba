// The function button window in this process: posted clicks, real clicks injected with SendInput,
// and what the window shows on the screen.
#include "button/function_button.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <cstdint>
#include <string>
#include <vector>

#include "button/button_picture.h"
#include "button/button_placement.h"
#include "win/dpi_scale.h"
#include "win/win_handles.h"
#include "core/app_state.h"
#include "core/command_handover.h"
#include "feedback/popup_win_test_support.h"
#include "feedback/rotate_indicator_win.h"
#include "res/resource_ids.h"
#include "language/interface_language.h"

namespace {

constexpr int kSide = 50;

HWND Button() { return AsWindow(AppState.ButtonWindow); }

POINT Centre(HWND window) {
  const RECT r = WindowRect(window);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::vector<std::uint32_t> ShownPixels() {
  const RECT r = WindowRect(Button());
  return CaptureScreen(r.left, r.top, kSide, kSide);
}

std::vector<std::uint32_t> BitmapPixels(void* bitmap) {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ScopedSelect select(dc.get(), bitmap);
  auto pixels = ReadBitmapPixels(kSide, kSide, dc.get(), AsBitmap(bitmap));
  std::vector<std::uint32_t> out;
  if (!pixels) return out;
  for (int i = 0; i < kSide * kSide; ++i) out.push_back(pixels[i] & 0x00FFFFFFu);
  return out;
}

// Waits until the painted button shows this bitmap.
bool Shows(void* bitmap) {
  const std::vector<std::uint32_t> expected = BitmapPixels(bitmap);
  return !expected.empty() && PumpUntil([&] { return ShownPixels() == expected; }, 2000);
}

// The picture the button must show at this side: at 50 the bitmap resources, at any other side
// the drawing of the same description at that side (not the window's code).
std::vector<std::uint32_t> ReferencePicture(ButtonImage image, int side) {
  if (side == kSide) {
    return BitmapPixels(image == ButtonImage::Move    ? AppState.ButtonMoveBitmap
                        : image == ButtonImage::Armed ? AppState.ButtonOnBitmap
                                                      : AppState.ButtonOffBitmap);
  }
  const std::vector<std::uint8_t> rgb = DrawButtonPicture(image, side);
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
    out.push_back(static_cast<std::uint32_t>(rgb[i]) << 16 | static_cast<std::uint32_t>(rgb[i + 1]) << 8 | rgb[i + 2]);
  }
  return out;
}

// The scale this run's prefix was given (the test of each scale starts this program again).
constexpr wchar_t kExpectedDpiVariable[] = L"OSTINEL_TEST_BUTTON_DPI";

INPUT MoveTo(POINT at) { return MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at); }

// A left drag by (-200, -100) on another thread; ends the drag even when its start was not seen.
struct DragState {
  DWORD uiThread = 0;
  POINT from{};
  bool loopSeen = false;
};
DragState drag;

// The press in move mode has been taken: the button holds the capture until the release.
bool DragStarted(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(thread, &info) && info.hwndCapture == Button();
}

DWORD WINAPI Drag(void*) {
  INPUT down = MouseInput(MOUSEEVENTF_LEFTDOWN);
  SendInput(1, &down, sizeof(INPUT));
  const ULONGLONG end = GetTickCount64() + 3000;
  while (!(drag.loopSeen = DragStarted(drag.uiThread)) && GetTickCount64() < end) Sleep(10);
  // Under Wine SendInput leaves the X server's pointer behind, and a cursor read falls back to it
  // 100 ms after the last input; a real move moves the one pointer, so this moves both.
  for (const POINT to : {POINT{drag.from.x - 100, drag.from.y - 50}, POINT{drag.from.x - 200, drag.from.y - 100}}) {
    SetCursorPos(to.x, to.y);
    INPUT move = MoveTo(to);
    SendInput(1, &move, sizeof(INPUT));
    Sleep(30);
  }
  INPUT up = MouseInput(MOUSEEVENTF_LEFTUP);
  SendInput(1, &up, sizeof(INPUT));
  if (!drag.loopSeen) {
    INPUT escape[2]{};
    escape[0].type = escape[1].type = INPUT_KEYBOARD;
    escape[0].ki.wVk = escape[1].ki.wVk = VK_ESCAPE;
    escape[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, escape, sizeof(INPUT));
  }
  return 0;
}

class ButtonWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    AppState.Instance = instance;
    owner_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr);
    AppState.MainWindow = owner_;
    AppState.ButtonOnBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_ON));
    AppState.ButtonOffBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_OFF));
    AppState.ButtonMoveBitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_BUTTON_MOVE));
    CreateButtonWindow();
  }

  static void TearDownTestSuite() {
    DestroyWindow(Button());
    DestroyWindow(owner_);
    for (void* b : {AppState.ButtonOnBitmap, AppState.ButtonOffBitmap, AppState.ButtonMoveBitmap}) DeleteObject(b);
    AppState.ButtonWindow = nullptr;
    AppState.ButtonOnBitmap = AppState.ButtonOffBitmap = AppState.ButtonMoveBitmap = nullptr;
    AppState.MainWindow = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(Button(), nullptr);
    ASSERT_NE(AppState.ButtonOnBitmap, nullptr);
    ASSERT_NE(AppState.ButtonOffBitmap, nullptr);
    ASSERT_NE(AppState.ButtonMoveBitmap, nullptr);
    AppState.ButtonActive = 0;
    AppState.ButtonMoveMode = 0;
    AppState.ButtonDoubleClicked = 0;
    AppState.ButtonDragged = 0;
    AppState.ButtonCommandPending = 0;
    ApplyButtonVisibility(SETUP_FUNCTION_BUTTON);
    RepaintButtonWindow();
    PumpFor(50);
  }

  void TearDown() override {
    PumpFor(500);  // let a single-click timer of this test run out here
    ApplyButtonVisibility(0);
  }

  static void Post(UINT message) {
    const POINT inside{kSide / 2, kSide / 2};
    PostMessageW(Button(), message, message == WM_RBUTTONDOWN ? MK_RBUTTON : MK_LBUTTON,
                 MAKELPARAM(inside.x, inside.y));
  }

  static HWND owner_;
};

HWND ButtonWindowTest::owner_ = nullptr;

}  // namespace

TEST_F(ButtonWindowTest, SitsAtTheLowerRightAndFollowsTheMethodBit) {
  ApplyButtonVisibility(0);
  HWND button = Button();
  EXPECT_FALSE(IsWindowVisible(button));
  EXPECT_EQ(GetWindow(button, GW_OWNER), owner_);
  const RECT r = WindowRect(button);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) - 60);
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) - 120);
  EXPECT_EQ(r.right - r.left, kSide);
  EXPECT_EQ(r.bottom - r.top, kSide);
  EXPECT_NE(GetWindowLongW(button, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetWindowLongW(button, GWL_EXSTYLE) & WS_EX_NOACTIVATE, 0);

  ApplyButtonVisibility(SETUP_FUNCTION_BUTTON | SETUP_HOLD_STILL);  // both bits: the button method
  EXPECT_TRUE(IsWindowVisible(button));
  AppState.ButtonActive = 1;
  ApplyButtonVisibility(SETUP_HOLD_STILL | SETUP_RIGHT_FLASH);
  EXPECT_FALSE(IsWindowVisible(button));
  EXPECT_EQ(AppState.ButtonActive.load(), 1u);  // hiding leaves the armed state alone
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));
}

TEST_F(ButtonWindowTest, ClicksToggleQueueCommandsAndRepaint) {
  ASSERT_TRUE(Shows(AppState.ButtonOffBitmap));

  Post(WM_RBUTTONDOWN);  // at once
  PumpFor(50);
  EXPECT_EQ(AppState.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(AppState.ButtonCommandPending));
  EXPECT_TRUE(Shows(AppState.ButtonOnBitmap));

  Post(WM_LBUTTONDOWN);  // 400 ms later
  PumpFor(50);
  EXPECT_EQ(AppState.ButtonActive.load(), 1u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));
  ASSERT_TRUE(PumpUntil([] { return AppState.ButtonActive.load() == 0; }, 3000));
  EXPECT_TRUE(TakePending(AppState.ButtonCommandPending));
  EXPECT_TRUE(Shows(AppState.ButtonOffBitmap));
  // The timer is one-shot: one click, one toggle, however long nothing else happens.
  PumpFor(1000);
  EXPECT_EQ(AppState.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));

  // Two presses that are no double click share one timer: one toggle.
  Post(WM_LBUTTONDOWN);
  Post(WM_LBUTTONDOWN);
  PumpFor(1200);
  EXPECT_EQ(AppState.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(AppState.ButtonCommandPending));

  // The device thread's once-only disarm asks for a repaint from its own thread.
  ASSERT_TRUE(Shows(AppState.ButtonOnBitmap));
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        DisarmButtonOnce(AppState);
        RepaintButtonWindow();
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 2000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_TRUE(Shows(AppState.ButtonOffBitmap));
}

TEST_F(ButtonWindowTest, DoubleClickBeforeTheTimerEntersMoveModeWithoutToggling) {
  // Second press within 400 ms: no toggle.
  Post(WM_LBUTTONDOWN);
  Post(WM_LBUTTONDBLCLK);
  PumpFor(800);
  EXPECT_EQ(AppState.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));
  EXPECT_EQ(AppState.ButtonMoveMode, 1u);
  EXPECT_TRUE(Shows(AppState.ButtonMoveBitmap));

  // A right click in move mode changes nothing.
  Post(WM_RBUTTONDOWN);
  PumpFor(100);
  EXPECT_EQ(AppState.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));
  EXPECT_EQ(AppState.ButtonMoveMode, 1u);
}

TEST_F(ButtonWindowTest, RealDoubleClickThenDragMovesTheArmedButtonAndLeavesItIdle) {
  // Dialogs get double clicks only when their class asks for them.
  EXPECT_NE(GetClassLongPtrW(Button(), GCL_STYLE) & CS_DBLCLKS, 0);

  // The user's application has the foreground and keeps it through every tap and the drag.
  HWND app = ShowUserApplication(100, 100, 300, 200);
  ASSERT_NE(app, nullptr);

  const POINT centre = Centre(Button());
  ASSERT_TRUE(SendInputFromOtherThread({MoveTo(centre), MouseInput(MOUSEEVENTF_RIGHTDOWN),
                                        MouseInput(MOUSEEVENTF_RIGHTUP)}));
  ASSERT_TRUE(PumpUntil([] { return AppState.ButtonActive.load() == 1; }, 2000));
  ASSERT_TRUE(TakePending(AppState.ButtonCommandPending));
  EXPECT_EQ(GetForegroundWindow(), app);
  PumpFor(600);  // no double click with what follows

  ASSERT_TRUE(SendInputFromOtherThread({MoveTo(centre), MouseInput(MOUSEEVENTF_LEFTDOWN),
                                        MouseInput(MOUSEEVENTF_LEFTUP), MouseInput(MOUSEEVENTF_LEFTDOWN),
                                        MouseInput(MOUSEEVENTF_LEFTUP)}));
  ASSERT_TRUE(PumpUntil([] { return AppState.ButtonMoveMode == 1; }, 3000));
  PumpFor(600);  // past the single-click timer
  EXPECT_EQ(AppState.ButtonActive.load(), 1u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));
  EXPECT_TRUE(Shows(AppState.ButtonMoveBitmap));
  EXPECT_EQ(GetForegroundWindow(), app);

  // Drag: the press takes the capture, which the release gives up. Input is assigned to a
  // window when it is queued, so the moves go in only once the button has the capture.
  const RECT before = WindowRect(Button());
  drag.uiThread = GetCurrentThreadId();
  drag.from = centre;
  HANDLE dragger = CreateThread(nullptr, 0, Drag, nullptr, 0, nullptr);
  ASSERT_NE(dragger, nullptr);
  const bool ended = PumpUntil([] { return AppState.ButtonMoveMode == 0; }, 6000);
  WaitForSingleObject(dragger, INFINITE);
  CloseHandle(dragger);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(drag.loopSeen);
  const RECT after = WindowRect(Button());
  EXPECT_EQ(after.left - before.left, -200);
  EXPECT_EQ(after.top - before.top, -100);
  EXPECT_EQ(AppState.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(AppState.ButtonCommandPending));  // the controller is not told
  EXPECT_TRUE(Shows(AppState.ButtonOffBitmap));
  EXPECT_EQ(GetForegroundWindow(), app);
  EXPECT_EQ(AppState.ButtonDragged, 1u);

  // Back to the start-up place for later tests.
  SetWindowPos(Button(), HWND_TOPMOST, before.left, before.top, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
  DestroyWindow(app);
}

TEST_F(ButtonWindowTest, StaysReachableAfterDisplayAndWorkAreaChanges) {
  HWND button = Button();
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const RECT start = WindowRect(button);
  ASSERT_EQ(start.left, width - 60);
  ASSERT_EQ(start.top, height - 120);
  const RECT screen{0, 0, width, height};
  RECT savedWork{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &savedWork, 0));
  // Sets the work area in this process and tells the button as the system's broadcast does (Wine
  // sends none, and keeps the work area of other processes as it was).
  const auto setWorkArea = [&](RECT area) {
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0));
    SendMessageW(button, WM_SETTINGCHANGE, SPI_SETWORKAREA, 0);
  };

  // A taskbar 150 pixels tall appears at the bottom, over the start place: pulled inside, and
  // back when the taskbar goes.
  const RECT taskbarBelow{0, 0, width, height - 150};
  setWorkArea(taskbarBelow);
  EXPECT_EQ(WindowRect(button).left, width - 60);
  EXPECT_EQ(WindowRect(button).top, height - 150 - 50);
  setWorkArea(screen);
  EXPECT_EQ(WindowRect(button).left, start.left);
  EXPECT_EQ(WindowRect(button).top, start.top);

  // A place the user dragged the button to stays while it is wholly visible.
  SetWindowPos(button, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  AppState.ButtonDragged = 1;
  SendMessageW(button, WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height));
  EXPECT_EQ(WindowRect(button).left, 100);
  EXPECT_EQ(WindowRect(button).top, 120);
  setWorkArea(taskbarBelow);
  EXPECT_EQ(WindowRect(button).left, 100);

  // A dragged place partly off the screen (the resolution went down, a monitor went away) goes
  // back to the start place, hidden or not, and follows the start place from then on.
  ApplyButtonVisibility(0);
  SetWindowPos(button, nullptr, width - 20, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(button, WM_DISPLAYCHANGE, 32, MAKELPARAM(width, height));
  EXPECT_EQ(WindowRect(button).left, width - 60);
  EXPECT_EQ(WindowRect(button).top, height - 150 - 50);
  EXPECT_EQ(AppState.ButtonDragged, 0u);
  setWorkArea(savedWork);
  EXPECT_EQ(WindowRect(button).left, start.left);
  EXPECT_EQ(WindowRect(button).top, start.top);
  EXPECT_FALSE(IsWindowVisible(button));
}

TEST_F(ButtonWindowTest, DrawnForTheScaleOfItsMonitor) {
  HWND button = Button();
  const UINT dpi = DpiOfMonitor(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
  wchar_t expected[16]{};
  if (GetEnvironmentVariableW(kExpectedDpiVariable, expected, 16) > 0) {
    ASSERT_EQ(dpi, static_cast<UINT>(_wtoi(expected)));  // the prefix's scale reached the program
  }
  const int side = ScaleToDpi(kSide, dpi);
  const RECT r = WindowRect(button);
  EXPECT_EQ(r.right - r.left, side);
  EXPECT_EQ(r.bottom - r.top, side);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) - ScaleToDpi(60, dpi));
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) - ScaleToDpi(120, dpi));
  const auto shows = [&](ButtonImage image) {
    const std::vector<std::uint32_t> reference = ReferencePicture(image, side);
    RepaintButtonWindow();
    return PumpUntil([&] { return CaptureScreen(r.left, r.top, side, side) == reference; }, 10000);
  };
  EXPECT_TRUE(shows(ButtonImage::Idle));
  AppState.ButtonActive = 1;
  EXPECT_TRUE(shows(ButtonImage::Armed));
  AppState.ButtonMoveMode = 1;
  EXPECT_TRUE(shows(ButtonImage::Move));
  AppState.ButtonMoveMode = 0;
  AppState.ButtonActive = 0;
}

// Wine gives every process the scale of the prefix's LogPixels at its start: this program is run
// again, in this prefix set to each scale, for the test above.
TEST_F(ButtonWindowTest, DrawnForTheScaleOfItsMonitorAt125And150And200Percent) {
  wchar_t own[MAX_PATH]{};
  if (GetEnvironmentVariableW(kExpectedDpiVariable, own, MAX_PATH) > 0) GTEST_SKIP() << "a run at one scale";
  ASSERT_GT(GetModuleFileNameW(nullptr, own, MAX_PATH), 0u);
  UniqueRegKey desktop;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  desktop.reset(key);
  DWORD saved = 0, size = sizeof(saved);
  const bool hadValue =
      RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS;
  wchar_t results[64]{};
  const DWORD keptResults = GetEnvironmentVariableW(L"GTEST_OUTPUT", results, 64);
  SetEnvironmentVariableW(L"GTEST_OUTPUT", nullptr);  // the report file is this run's
  for (const DWORD dpi : {120u, 144u, 192u}) {
    SCOPED_TRACE(dpi);
    ASSERT_EQ(RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)),
              ERROR_SUCCESS);
    SetEnvironmentVariableW(kExpectedDpiVariable, std::to_wstring(dpi).c_str());
    std::wstring command = L"\"" + std::wstring(own) + L"\" --gtest_filter=ButtonWindowTest.DrawnForTheScaleOfItsMonitor";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    UniqueHandle child(process.hProcess);
    CloseHandle(process.hThread);
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(child.get(), 0) == WAIT_OBJECT_0; }, 180000, child.get()));
    DWORD exitCode = 1;
    GetExitCodeProcess(child.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
  }
  SetEnvironmentVariableW(kExpectedDpiVariable, nullptr);
  if (keptResults > 0) SetEnvironmentVariableW(L"GTEST_OUTPUT", results);
  if (hadValue) {
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved), sizeof(saved));
  } else {
    RegDeleteValueW(key, L"LogPixels");
  }
}

// A screen reader asks the window for its object, as Narrator does through Active Accessibility.
TEST_F(ButtonWindowTest, ScreenReadersGetItsNameAndStateInTheInterfaceLanguage) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  IAccessible* object = nullptr;
  // get_accName or get_accValue of the button itself.
  const auto text = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
    BSTR value = nullptr;
    const HRESULT result = (object->*get)(self, &value);
    std::wstring out = SUCCEEDED(result) && value ? std::wstring(value) : L"(none)";
    SysFreeString(value);
    return out;
  };
  for (const std::int32_t mode : {LANGUAGE_TRADITIONAL_CHINESE, LANGUAGE_SIMPLIFIED_CHINESE, LANGUAGE_ENGLISH}) {
    SCOPED_TRACE(mode);
    const LanguageTexts* texts = TextsForLanguage(mode);
    ASSERT_NE(texts, nullptr);
    SetButtonAccessibleTexts({texts->ButtonName, texts->ButtonIdle, texts->ButtonArmed, texts->ButtonMoveMode});
    wchar_t caption[64]{};
    GetWindowTextW(Button(), caption, 64);
    EXPECT_EQ(std::wstring(caption), texts->ButtonName);

    ASSERT_EQ(AccessibleObjectFromWindow(Button(), static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(text(&IAccessible::get_accName), texts->ButtonName);
    VARIANT role{};
    ASSERT_EQ(object->get_accRole(self, &role), S_OK);
    EXPECT_EQ(role.vt, VT_I4);
    EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
    const auto pressed = [&] {
      VARIANT state{};
      return SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4 &&
             (state.lVal & STATE_SYSTEM_PRESSED) != 0;
    };
    EXPECT_FALSE(pressed());
    EXPECT_EQ(text(&IAccessible::get_accValue), texts->ButtonIdle);
    AppState.LanguageMode = mode;
    EXPECT_EQ(text(&IAccessible::get_accDefaultAction), texts->ButtonAction);
    AppState.ButtonActive = 1;
    EXPECT_TRUE(pressed());
    EXPECT_EQ(text(&IAccessible::get_accValue), texts->ButtonArmed);
    EXPECT_EQ(text(&IAccessible::get_accDefaultAction), L"(none)");  // it does not disarm
    AppState.ButtonMoveMode = 1;
    EXPECT_TRUE(pressed());  // armed underneath
    EXPECT_EQ(text(&IAccessible::get_accValue), texts->ButtonMoveMode);
    AppState.ButtonMoveMode = 0;
    AppState.ButtonActive = 0;
    object->Release();
  }
  AppState.LanguageMode = LANGUAGE_ENGLISH;
  CoUninitialize();
}
