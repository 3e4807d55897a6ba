// The interface language of the real program, chosen from the system locale at start.
//
// Under Wine the system locale of a process comes from the LC_ALL of its Unix environment, and a
// Windows process started by another one inherits its parent's Unix environment whatever
// environment block CreateProcessW is given. So these tests start the program through the Unix
// side: /usr/bin/env sets LC_ALL and runs wine on Ostinel.exe, which joins this test's prefix and
// server as a new Windows process.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "core/display_scale.h"
#include "e2e/e2e_support.h"
#include "language/interface_language.h"

namespace {

struct Language {
  const char* Name;
  const wchar_t* Locale;  // LC_ALL of the program
  std::int32_t Mode;
  const wchar_t* Title;
  const wchar_t* Ok;
  const wchar_t* Cancel;
  const wchar_t* Label;  // for the default hold time
  const wchar_t* StatusButton;
  const wchar_t* ExitButton;
};

const Language kLanguages[] = {
    {"English", L"en_US.UTF-8", 2, L"Vemto Touch Screen Program Setting", L"OK", L"Cancle", L"1.0 sec", L"Close",
     L"Exit"},
    {"Simplified", L"zh_CN.UTF-8", 1, L"Vemto 触控屏设定程序", L"确认", L"取消", L"1.0 秒", L"关闭",
     L"结束"},
    {"Traditional", L"zh_TW.UTF-8", 0, L"Vemto 觸控屏設定程序", L"確定", L"取消", L"1.0 秒", L"關閉",
     L"結束"},
};

void PrintTo(const Language& lang, std::ostream* out) { *out << lang.Name; }

constexpr wchar_t kUnixEnv[] = L"Z:\\usr\\bin\\env";

// What a screen reader in another process reads of a control through Active Accessibility: its
// name and its value.
struct ReadAloud {
  std::wstring Name, Value;
};

ReadAloud ScreenReaderReads(HWND control) {
  ReadAloud read;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return read;
  IAccessible* object = nullptr;
  if (AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                 reinterpret_cast<void**>(&object)) == S_OK) {
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (object->get_accName(self, &text) == S_OK && text) read.Name = text;
    SysFreeString(text);
    text = nullptr;
    if (object->get_accValue(self, &text) == S_OK && text) read.Value = text;
    SysFreeString(text);
    object->Release();
  }
  CoUninitialize();
  return read;
}

const wchar_t* SettingsControlText(const LanguageTexts& texts, int id) {
  for (const ControlTextEntry& control : texts.SettingsControls) {
    if (control.Id == id) return control.Text;
  }
  return L"";
}

std::set<DWORD> RunningCopies() {
  std::set<DWORD> pids;
  for (HWND w = FindWindowExW(nullptr, nullptr, MAIN_WINDOW_CLASS, nullptr); w;
       w = FindWindowExW(nullptr, w, MAIN_WINDOW_CLASS, nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    pids.insert(pid);
  }
  return pids;
}

// A copy of the program running under a locale of its own; ended when this goes away.
struct LocaleProcess {
  DWORD Pid = 0;
  HANDLE Process = nullptr;
  LocaleProcess() = default;
  LocaleProcess(const LocaleProcess&) = delete;
  LocaleProcess& operator=(const LocaleProcess&) = delete;
  ~LocaleProcess() {
    if (!Process) return;
    TerminateProcess(Process, 97);
    WaitForSingleObject(Process, 5000);
    CloseHandle(Process);
  }
};

// Starts Ostinel.exe with LC_ALL=locale and waits for its main window, which tells its process.
void LaunchOstinelInLocale(const wchar_t* locale, LocaleProcess& launched) {
  const std::set<DWORD> before = RunningCopies();
  ASSERT_TRUE(LaunchInLocale(locale, L"Ostinel.exe"));
  DWORD pid = 0;
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (DWORD p : RunningCopies()) {
          if (!before.count(p)) pid = p;
        }
        return pid != 0;
      },
      15000));
  launched.Pid = pid;
  launched.Process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(launched.Process, nullptr);
}

class InterfaceLanguage : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "needs Wine: the locale is set per process through LC_ALL";
    }
    EndAllOstinel();
    DeleteSettingsKey();
    DeletePolicyKey();
  }
  void TearDown() override {
    EndAllOstinel();
    DeleteSettingsKey();
    DeletePolicyKey();
  }
};

TEST_P(InterfaceLanguage, SettingsDialogAndStatusWindowSpeakTheLocalesLanguage) {
  const Language& lang = GetParam();
  LocaleProcess app;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, app));
  HWND status = WaitForStatusWindow(app.Pid);
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(ControlText(status, IDC_STATUS_BUTTON), lang.StatusButton);
  EXPECT_EQ(WindowTextOf(status), kStatusTitle);  // the same in every language

  HWND dialog = FindProcessWindow(app.Pid, kDialogClass, lang.Title);
  ASSERT_NE(dialog, nullptr) << "no settings dialog titled " << Utf8(lang.Title);
  HWND main = FindProcessWindow(app.Pid, MAIN_WINDOW_CLASS, nullptr);
  ASSERT_TRUE(PostMessageW(main, WM_OPEN_SETTINGS, 0, 0));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(dialog) != FALSE; }, 5000));

  EXPECT_EQ(ControlText(dialog, IDOK), lang.Ok);
  EXPECT_EQ(ControlText(dialog, IDCANCEL), lang.Cancel);
  EXPECT_EQ(ControlText(dialog, IDC_WAIT_LABEL), lang.Label);
  const LanguageTexts* texts = TextsForLanguage(lang.Mode);
  ASSERT_NE(texts, nullptr);
  for (const ControlTextEntry& control : texts->SettingsControls) {
    EXPECT_EQ(ControlText(dialog, control.Id), control.Text) << "control " << control.Id;
  }

  // A screen reader names the hold-time slider by the label above it and reads its value as the
  // dialog shows it, also once it moved.
  HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER);
  ReadAloud read = ScreenReaderReads(slider);
  EXPECT_EQ(read.Name, SettingsControlText(*texts, IDC_WAIT_CAPTION));
  EXPECT_EQ(read.Value, lang.Label);
  SendMessageW(slider, TBM_SETPOS, TRUE, 250);
  SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 250), reinterpret_cast<LPARAM>(slider));
  read = ScreenReaderReads(slider);
  EXPECT_EQ(read.Value, L"2.5" + std::wstring(lang.Label).substr(3)) << Utf8(read.Value);
}

TEST_P(InterfaceLanguage, FailedStartOffersTheExitButtonInTheLocalesLanguage) {
  const Language& lang = GetParam();
  LocaleProcess first;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, first));
  ASSERT_NE(WaitForStatusWindow(first.Pid), nullptr);
  LocaleProcess second;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, second));
  HWND status = WaitForStatusWindow(second.Pid);
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return ControlText(status, IDC_STATUS_BUTTON) == lang.ExitButton; }, 5000))
      << Utf8(ControlText(status, IDC_STATUS_BUTTON));
  // The first copy keeps its ordinary button.
  EXPECT_EQ(ControlText(FindProcessWindow(first.Pid, kDialogClass, kStatusTitle), IDC_STATUS_BUTTON), lang.StatusButton);
}

INSTANTIATE_TEST_SUITE_P(Locales, InterfaceLanguage, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& param) { return std::string(param.param.Name); });

// The two windows at a display scale, in every language: every control inside its window's client
// area and wide and tall enough for its whole text, as Wine's classic controls draw it. The texts
// are measured here, in a font made as the dialog manager makes the template's font at that scale;
// the controls' heights in dialog units confirm that it is the same font.
struct TemplateFont {
  const wchar_t* Face;
  int Points;
  BYTE Charset;
};
constexpr TemplateFont kSettingsFont{L"Microsoft Sans Serif", 12, ANSI_CHARSET};
constexpr TemplateFont kStatusFont{L"MS Shell Dlg 2", 8, DEFAULT_CHARSET};

RECT ClientOnScreen(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The width a control's text takes as Wine draws it: push buttons inside their 2-pixel frame,
// check boxes and radio buttons after the box and half a digit's width, group boxes between
// 7-pixel indents; 0 for controls without a text to show.
int NeededWidth(HDC dc, HWND control, UINT dpi) {
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  int extra = 0;
  if (_wcsicmp(className, L"Button") == 0) {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX) {
      extra = 14;
    } else if (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON) {
      INT digit = 0;
      GetCharWidth32W(dc, L'0', L'0', &digit);
      extra = static_cast<int>(12 * dpi / 96 + 1) + digit / 2;
    } else {
      extra = 4;
    }
  } else if (_wcsicmp(className, L"Static") != 0 || (style & SS_TYPEMASK) == SS_BITMAP) {
    return 0;
  }
  const std::wstring text = WindowTextOf(control);
  if (text.empty()) return 0;
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  return extent.cx + extra;
}

struct WindowCheck {
  HWND Window;
  TemplateFont Font;
  int ButtonId;           // a button whose height in dialog units confirms the font
  int ButtonHeightUnits;
};

void ExpectEveryTextWholeInside(const WindowCheck& check, UINT dpi, const char* what) {
  SCOPED_TRACE(what);
  HDC dc = GetDC(nullptr);
  HFONT font = CreateFontW(-MulDiv(check.Font.Points, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                           FALSE, check.Font.Charset, 0, 0, PROOF_QUALITY, FF_DONTCARE, check.Font.Face);
  ASSERT_NE(font, nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  RECT button{};
  GetWindowRect(GetDlgItem(check.Window, check.ButtonId), &button);
  EXPECT_EQ(button.bottom - button.top, MulDiv(check.ButtonHeightUnits, metrics.tmHeight, 8)) << "not the dialog's font";

  const RECT client = ClientOnScreen(check.Window);
  int controls = 0;
  for (HWND c = GetWindow(check.Window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++controls) {
    RECT r{};
    GetWindowRect(c, &r);
    const int id = GetDlgCtrlID(c);
    EXPECT_TRUE(r.left >= client.left && r.top >= client.top && r.right <= client.right && r.bottom <= client.bottom)
        << "control " << id << " at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom
        << " outside the client area " << client.left << "," << client.top << "-" << client.right << "," << client.bottom;
    const int needed = NeededWidth(dc, c, dpi);
    if (needed == 0) continue;
    EXPECT_GE(r.right - r.left, needed) << "control " << id << " cuts off " << Utf8(WindowTextOf(c));
    EXPECT_GE(r.bottom - r.top, metrics.tmHeight) << "control " << id << " too low for " << Utf8(WindowTextOf(c));
  }
  EXPECT_GE(controls, 2);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(nullptr, dc);
}

std::string Size(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + " at " + std::to_string(r.left) +
         "," + std::to_string(r.top);
}

// Managed settings: the controls a policy decides are greyed, the others not, the note says so in
// the locale's language and fits inside the grown dialog; with settings changes not allowed,
// every control is greyed.
TEST_P(InterfaceLanguage, ControlsAPolicyDecidesAreGreyedAndTheNoteSpeaksTheLocalesLanguage) {
  const Language& lang = GetParam();
  ASSERT_TRUE(SetPolicy(L"RightClickMethod", 1));
  ASSERT_TRUE(SetPolicy(L"LeftClickSound", 0));
  LocaleProcess app;
  ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, app));
  ASSERT_NE(WaitForStatusWindow(app.Pid), nullptr);
  HWND dialog = FindProcessWindow(app.Pid, kDialogClass, lang.Title);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(OpenSettingsDialog(FindProcessWindow(app.Pid, MAIN_WINDOW_CLASS, nullptr), dialog));

  const auto enabled = [&](int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; };
  for (int id : {IDC_METHOD_NONE, IDC_METHOD_BUTTON, IDC_METHOD_HOLD, IDC_LEFT_SOUND}) EXPECT_FALSE(enabled(id)) << id;
  for (int id : {IDC_RIGHT_SOUND, IDC_RIGHT_FLASH, IDC_ONCE_ONLY, IDC_WAIT_SLIDER, IDC_WAIT_LABEL, IDOK, IDCANCEL}) EXPECT_TRUE(enabled(id)) << id;
  const LanguageTexts* texts = TextsForLanguage(lang.Mode);
  ASSERT_NE(texts, nullptr);
  const wchar_t* note = nullptr;
  for (const ControlTextEntry& control : texts->SettingsControls) {
    if (control.Id == IDC_MANAGED_NOTE) note = control.Text;
  }
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(ControlText(dialog, IDC_MANAGED_NOTE), note);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_MANAGED_NOTE)));
  HDC screen = GetDC(nullptr);
  const UINT dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));  // the prefix's, as the program's
  ReleaseDC(nullptr, screen);
  ExpectEveryTextWholeInside({dialog, kSettingsFont, IDOK, 14}, dpi, "managed settings dialog");

  ASSERT_TRUE(SetPolicy(L"AllowSettingsChanges", 0));
  // The dialog greys its controls one after another: wait for the last of them, not the first.
  const std::array<int, 5> rest = {IDC_RIGHT_SOUND, IDC_RIGHT_FLASH, IDC_ONCE_ONLY, IDC_WAIT_SLIDER, IDC_WAIT_LABEL};
  EXPECT_TRUE(WaitUntil([&] { return std::none_of(rest.begin(), rest.end(), enabled); }, 10000));
  for (int id : rest) EXPECT_FALSE(enabled(id)) << id;
  EXPECT_TRUE(enabled(IDOK));
}

class DisplayScale : public ::testing::TestWithParam<UINT> {
 protected:
  void SetUp() override {
    if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "needs Wine";
    EndAllOstinel();
    DeleteSettingsKey();
  }
  void TearDown() override {
    EndAllOstinel();
    DeleteSettingsKey();
  }
};

TEST_P(DisplayScale, EveryControlShowsItsWholeTextInsideItsWindowInEveryLanguage) {
  const UINT dpi = GetParam();
  const PrefixAtDpi scale(dpi);
  for (const Language& lang : kLanguages) {
    SCOPED_TRACE(lang.Name);
    LocaleProcess app;
    ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(lang.Locale, app));
    HWND status = WaitForStatusWindow(app.Pid);
    ASSERT_NE(status, nullptr);
    HWND dialog = FindProcessWindow(app.Pid, kDialogClass, lang.Title);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(OpenSettingsDialog(FindProcessWindow(app.Pid, MAIN_WINDOW_CLASS, nullptr), dialog));

    ExpectEveryTextWholeInside({status, kStatusFont, IDC_STATUS_BUTTON, 17}, dpi, "status window");
    ExpectEveryTextWholeInside({dialog, kSettingsFont, IDOK, 14}, dpi, "settings dialog");

    // The status window lies wholly on the screen; the picture is drawn for the scale.
    RECT r{};
    GetWindowRect(status, &r);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= GetSystemMetrics(SM_CXSCREEN) &&
                r.bottom <= GetSystemMetrics(SM_CYSCREEN))
        << "status window " << Size(status);
    GetWindowRect(GetDlgItem(dialog, IDC_HAND_PICTURE), &r);
    EXPECT_EQ(r.right - r.left, ScaleToDpi(104, dpi));
    EXPECT_EQ(r.bottom - r.top, ScaleToDpi(100, dpi));
    std::printf("dpi %u %s: status window %s, settings dialog %s\n", dpi, lang.Name, Size(status).c_str(),
                Size(dialog).c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(Dpi, DisplayScale, ::testing::Values(96u, 120u, 144u, 192u),
                         [](const ::testing::TestParamInfo<UINT>& param) { return std::to_string(param.param); });

// A locale whose abbreviation is neither CHS nor CHT speaks English, Chinese or not.
TEST(InterfaceLanguageOther, OtherLocalesGiveEnglish) {
  if (GetFileAttributesW(kUnixEnv) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "needs Wine";
  EndAllOstinel();
  for (const wchar_t* locale : {L"zh_HK.UTF-8", L"zh_SG.UTF-8", L"de_DE.UTF-8"}) {
    LocaleProcess app;
    ASSERT_NO_FATAL_FAILURE(LaunchOstinelInLocale(locale, app));
    HWND status = WaitForStatusWindow(app.Pid);
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(ControlText(status, IDC_STATUS_BUTTON), L"Close") << Utf8(locale);
    EXPECT_NE(FindProcessWindow(app.Pid, kDialogClass, L"Vemto Touch Screen Program Setting"), nullptr)
        << Utf8(locale);
  }
  EndAllOstinel();
}

}  // namespace
