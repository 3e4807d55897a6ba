// The settings dialog of the real program, driven from another process as a settings tool would:
// WM_USER+1 to the hidden main window, then clicks on the dialog's controls.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "core/settings_table.h"
#include "e2e/program_test.h"
#include "language/interface_language.h"
#include "tools/sim_controller/sim_controller.h"

namespace {

constexpr const wchar_t* kSettingsKey = SETTINGS_KEY;


bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
int Height(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r.bottom - r.top;
}

bool Checked(HWND dialog, int id) { return SendWithTimeout(GetDlgItem(dialog, id), BM_GETCHECK) == BST_CHECKED; }
int SliderPosition(HWND dialog) { return static_cast<int>(SendWithTimeout(GetDlgItem(dialog, IDC_WAIT_SLIDER), TBM_GETPOS)); }
void Click(HWND dialog, int id) { SendWithTimeout(GetDlgItem(dialog, id), BM_CLICK); }

// As the trackbar itself does on a move: set the position, then tell the dialog.
void MoveSlider(HWND dialog, int position) {
  HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER);
  SendWithTimeout(slider, TBM_SETPOS, TRUE, position);
  SendWithTimeout(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(slider));
}

// The control that has the keyboard focus in the dialog's thread.
HWND FocusOf(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool FocusComesTo(HWND dialog, int id) {
  return WaitUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, id); }, 3000);
}

// A key pressed and released, as the thread's queue gets it: to the control with the focus.
void PressKey(HWND dialog, WPARAM key) {
  HWND focus = FocusOf(dialog);
  PostMessageW(focus, WM_KEYDOWN, key, 1);
  PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
}

// The method radio buttons as one number: 0 none, 1 function button, 2 hold still, -1 not exactly one.
int SelectedMethod(HWND dialog) {
  const bool none = Checked(dialog, IDC_METHOD_NONE), button = Checked(dialog, IDC_METHOD_BUTTON),
             hold = Checked(dialog, IDC_METHOD_HOLD);
  if (int(none) + int(button) + int(hold) != 1) return -1;
  return none ? 0 : button ? 1 : 2;
}

// The program speaks the language of the locale it inherits from this process.
std::wstring WithUnit(const wchar_t* seconds) {
  wchar_t abbreviation[16] = {};
  GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVLANGNAME, abbreviation, 16);
  const bool english = LanguageModeFromAbbreviation(abbreviation) == 2;
  return std::wstring(seconds) + (english ? L" sec" : L" \u79D2");
}

void Store(const wchar_t* name, DWORD value) { ASSERT_TRUE(StoreSetting(name, value)); }

// The program keeps its settings in the 32-bit view only.
bool In64BitView(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return false;
  }
  const bool found = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

void DeleteStoredValue(const wchar_t* name) {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name);  // 64-bit view: not the program's
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, name);
    RegCloseKey(key);
  }
}

class SettingsDialog : public ProgramTest {
 protected:

  // Starts the program and finds its windows; with a trace file, with its event log reported there.
  void Start(const std::wstring& trace = L"") {
    if (trace.empty()) {
      app_.emplace(LaunchOstinel());
    } else {
      ASSERT_TRUE(LaunchTraced(L"Ostinel.exe", trace));
      app_.emplace(AttachToStartedOstinel());
    }
    ASSERT_TRUE(app_->Running());
    ASSERT_NE(WaitForStatusWindow(app_->Pid()), nullptr);
    main_ = FindProcessWindow(app_->Pid(), MAIN_WINDOW_CLASS, nullptr);
    dialog_ = FindSettingsDialog(app_->Pid());
    ASSERT_NE(main_, nullptr);
    ASSERT_NE(dialog_, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog_));  // created hidden
    EXPECT_EQ(GetWindow(dialog_, GW_OWNER), main_);
  }

  // What another process does to open the settings.
  void Open() { ASSERT_TRUE(OpenSettingsDialog(main_, dialog_)); }

  void Ok() {
    Click(dialog_, IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog_));
  }

  std::optional<LaunchedProcess> app_;
  HWND main_ = nullptr;
  HWND dialog_ = nullptr;
};

TEST_F(SettingsDialog, FirstStartStoresTheDefaultWordAndShowsTheDefaults) {
  Start();
  // Loading at start created the key with the word only.
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);
  EXPECT_FALSE(In64BitView(L"ButtonSetup"));

  Open();
  EXPECT_TRUE(Checked(dialog_, IDC_LEFT_SOUND));
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_SOUND));
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_FLASH));
  EXPECT_FALSE(Checked(dialog_, IDC_ONCE_ONLY));
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  EXPECT_EQ(SliderPosition(dialog_), 100);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"1.0"));
  // The trackbar's range and page.
  HWND slider = GetDlgItem(dialog_, IDC_WAIT_SLIDER);
  EXPECT_EQ(SendWithTimeout(slider, TBM_GETRANGEMIN), 50);
  EXPECT_EQ(SendWithTimeout(slider, TBM_GETRANGEMAX), 500);
  EXPECT_EQ(SendWithTimeout(slider, TBM_GETPAGESIZE), 50);
  EXPECT_EQ(SendWithTimeout(slider, TBM_GETLINESIZE), 1);
}

TEST_F(SettingsDialog, ShowsStoredValuesAndTheStoredWordsMethod) {
  Store(L"ButtonSetup", 0x2B);  // sounds, indicator, once only; no right-click method
  Store(L"WaitTime", 230);
  Start();
  Open();
  EXPECT_TRUE(Checked(dialog_, IDC_LEFT_SOUND));
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_SOUND));
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_FLASH));
  EXPECT_TRUE(Checked(dialog_, IDC_ONCE_ONLY));
  EXPECT_EQ(SelectedMethod(dialog_), 0);
  EXPECT_EQ(SliderPosition(dialog_), 230);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"2.3"));
}

TEST_F(SettingsDialog, HoldTimeChangeStoresBothValuesInThe32BitView) {
  Start();
  Open();
  MoveSlider(dialog_, 250);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"2.5"));  // at once, before OK
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 250u);
  EXPECT_FALSE(In64BitView(L"WaitTime"));

  Open();
  EXPECT_EQ(SliderPosition(dialog_), 250);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"2.5"));
}

TEST_F(SettingsDialog, LaterOkStoresTheWordButNotAnUnchangedHoldTime) {
  Start();
  Open();
  Ok();  // the first OK of the run stores both
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 100u);

  // Take the hold time away behind the program's back: an OK that does not change it must not
  // write it again.
  DeleteStoredValue(L"WaitTime");
  Open();
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"1.0"));  // missing value: the default
  Click(dialog_, IDC_LEFT_SOUND);                           // sound only
  EXPECT_FALSE(Checked(dialog_, IDC_LEFT_SOUND));
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 14u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);

  Open();
  EXPECT_FALSE(Checked(dialog_, IDC_LEFT_SOUND));
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_SOUND));
}

TEST_F(SettingsDialog, CancelStoresNothingAndReopeningShowsTheStoredMethod) {
  Start();
  Open();
  Click(dialog_, IDC_METHOD_BUTTON);
  EXPECT_EQ(SelectedMethod(dialog_), 1);  // one group: the others are cleared
  Click(dialog_, IDC_ONCE_ONLY);
  MoveSlider(dialog_, 400);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"4.0"));
  Click(dialog_, IDCANCEL);
  EXPECT_FALSE(IsWindowVisible(dialog_));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);

  Open();
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  EXPECT_FALSE(Checked(dialog_, IDC_ONCE_ONLY));
  EXPECT_EQ(SliderPosition(dialog_), 100);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"1.0"));
}

TEST_F(SettingsDialog, ReopeningAVisibleDialogDiscardsUnconfirmedEdits) {
  Store(L"WaitTime", 150);
  Start();
  Open();
  Click(dialog_, IDC_METHOD_NONE);
  Click(dialog_, IDC_RIGHT_FLASH);
  MoveSlider(dialog_, 300);
  Open();
  // The dialog was visible all along: wait for the reload itself, which sets every control in one
  // handler (a cross-process query is answered only after it).
  EXPECT_TRUE(WaitUntil([&] { return SliderPosition(dialog_) == 150; }, 5000));
  EXPECT_TRUE(IsWindowVisible(dialog_));
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  EXPECT_TRUE(Checked(dialog_, IDC_RIGHT_FLASH));
  EXPECT_EQ(SliderPosition(dialog_), 150);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"1.5"));
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 150u);  // the slider's 300 was never confirmed
}

// The dialog from the keyboard: the focus starts on the chosen method; the arrow keys go round the
// three method buttons (choosing as they go) and move the slider; Tab goes on in template order
// with the method buttons as one stop; Space toggles; opened again, the focus is back on the
// stored method; Esc stores nothing.
TEST_F(SettingsDialog, KeysWorkTheDialogAndEscStoresNothing) {
  Start();
  Open();
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_METHOD_HOLD));
  PressKey(dialog_, VK_DOWN);  // from the last method button round to the first
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_METHOD_NONE));
  EXPECT_EQ(SelectedMethod(dialog_), 0);
  PressKey(dialog_, VK_TAB);
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_LEFT_SOUND));
  PressKey(dialog_, VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return !Checked(dialog_, IDC_LEFT_SOUND); }, 3000));
  for (int next : {IDC_RIGHT_SOUND, IDC_RIGHT_FLASH, IDC_WAIT_SLIDER}) {
    PressKey(dialog_, VK_TAB);
    ASSERT_TRUE(FocusComesTo(dialog_, next)) << next;
  }
  PressKey(dialog_, VK_NEXT);  // a page: half a second
  EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog_, IDC_WAIT_LABEL) == WithUnit(L"1.5"); }, 3000));
  EXPECT_EQ(SliderPosition(dialog_), 150);

  Open();  // while it shows: the stored settings, and the focus on the stored method
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_METHOD_HOLD));
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  EXPECT_EQ(SliderPosition(dialog_), 100);
  PressKey(dialog_, VK_ESCAPE);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog_); }, 3000));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);
}

// Enter, with the focus on a check box, is OK: it stores (the first OK of a run both values)
// and hides the dialog.
TEST_F(SettingsDialog, EnterStoresAndHidesAsOkDoes) {
  Start();
  Open();
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_METHOD_HOLD));
  PressKey(dialog_, VK_TAB);
  ASSERT_TRUE(FocusComesTo(dialog_, IDC_LEFT_SOUND));
  PressKey(dialog_, VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return !Checked(dialog_, IDC_LEFT_SOUND); }, 3000));
  PressKey(dialog_, VK_RETURN);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(dialog_); }, 3000));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 14u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 100u);
}

TEST_F(SettingsDialog, BothMethodBitsSelectTheFunctionButtonAndOkDropsTheHoldBitAndHigherBits) {
  Store(L"ButtonSetup", 0xC0 | 0x1F);
  Start();
  Open();
  EXPECT_EQ(SelectedMethod(dialog_), 1);
  EXPECT_TRUE(Checked(dialog_, IDC_LEFT_SOUND));
  EXPECT_FALSE(Checked(dialog_, IDC_ONCE_ONLY));
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 0x1Bu);
}

TEST_F(SettingsDialog, StoredHoldTimeOutsideTheRangeIsKeptAndShown) {
  Store(L"WaitTime", 900);
  Start();
  Open();
  EXPECT_EQ(SliderPosition(dialog_), 500);  // the thumb at the end of the range
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"9.0"));
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 900u);  // OK without touching the slider keeps the number

  Store(L"WaitTime", 20);
  Open();
  EXPECT_EQ(SliderPosition(dialog_), 50);
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"0.2"));
  MoveSlider(dialog_, 60);  // moving the slider brings it into the range
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"0.6"));
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 60u);
}

TEST_F(SettingsDialog, OkWithoutAControllerReturnsAtOnceAndTheProgramStaysResponsive) {
  Start();
  Open();
  MoveSlider(dialog_, 320);  // a command is due
  HWND ok = GetDlgItem(dialog_, IDOK);
  const ULONGLONG before = GetTickCount64();
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutW(ok, BM_CLICK, 0, 0, SMTO_NORMAL, 3000, &result));
  EXPECT_LT(GetTickCount64() - before, 1000u);
  EXPECT_FALSE(IsWindowVisible(dialog_));
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 320u);

  // The UI thread answers right away.
  EXPECT_TRUE(SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result));
  // And the dialog opens again.
  Open();
  EXPECT_EQ(ControlText(dialog_, IDC_WAIT_LABEL), WithUnit(L"3.2"));
}

// The settings key denies setting values to everyone (as a key without the installer's grant
// does to an ordinary user): OK puts the settings in force and says, in a message box of the
// settings dialog, that they were not saved; reading goes on as before.
TEST_F(SettingsDialog, OkThatCannotStoreSaysSoAndTheSettingsStillAct) {
  Store(L"ButtonSetup", DEFAULT_BUTTON_SETUP);
  Store(L"WaitTime", 100);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, WRITE_DAC | KEY_WOW64_32KEY, &key),
            ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR denySetValue = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(D;;0x2;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                   &denySetValue, nullptr));
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denySetValue), ERROR_SUCCESS);
  LocalFree(denySetValue);
  RegCloseKey(key);

  const TraceFile trace;
  Start(trace.Path);
  Open();
  Click(dialog_, IDC_METHOD_BUTTON);
  MoveSlider(dialog_, 250);
  PostMessageW(GetDlgItem(dialog_, IDOK), BM_CLICK, 0, 0);  // the message box holds the click
  HWND box = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    box = FindProgramDialog(app_->Pid(), [&](HWND w) { return GetWindow(w, GW_OWNER) == dialog_ && IsWindowVisible(w); });
    return box != nullptr;
  }, 5000));
  EXPECT_EQ(ControlText(box, 0xFFFF), L"The settings are in force until the program ends, but they could not be saved.");
  EXPECT_EQ(WindowTextOf(box), L"Vemto Touch Screen Program Setting");

  // In force, not stored.
  HWND button = FindFunctionButton(app_->Pid());
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(IsWindowVisible(button));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), DEFAULT_BUTTON_SETUP);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 100u);

  // The event log has the change, old and new values, and the failed save with the system's code.
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 21; }, 5000, &events));
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events[events.size() - 2].Id, 20u);
  EXPECT_EQ(events[events.size() - 2].Strings, (std::vector<std::wstring>{L"15", L"27", L"100", L"250"}));
  EXPECT_EQ(events.back().Type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(events.back().Strings, std::vector<std::wstring>{L"5"});

  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box) && !IsWindowVisible(dialog_); }, 3000));
  // Reading still works: reopening shows the stored values again.
  Open();
  EXPECT_EQ(SliderPosition(dialog_), 100);
}

TEST_F(SettingsDialog, OkShowsTheFunctionButtonForItsMethodAndHidesItOtherwise) {
  Start();
  HWND button = nullptr;  // made a little after the status window shows
  ASSERT_TRUE(WaitUntil([&] { return (button = FindFunctionButton(app_->Pid())) != nullptr; }, 5000));
  EXPECT_FALSE(IsWindowVisible(button));  // the default word has no function button
  Open();
  Click(dialog_, IDC_METHOD_BUTTON);
  Ok();
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(button) != FALSE; }, 2000));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 0x1Bu);

  Open();
  Click(dialog_, IDC_METHOD_HOLD);
  Click(dialog_, IDCANCEL);  // nothing applied
  EXPECT_TRUE(IsWindowVisible(button));
  Store(L"ButtonSetup", 0x0F);
  Open();  // loading a word without the method hides the button at once
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(button); }, 2000));
  Click(dialog_, IDC_METHOD_BUTTON);
  Ok();
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(button) != FALSE; }, 2000));
}

// AllowSettingsChanges 0: every control greyed, the note shown, and OK stores nothing, not even
// the first OK's values or a slider moved by messages past the greyed control; values written to
// the settings key meanwhile are not taken. Removed while the program runs, everything is the
// user's again.
TEST_F(SettingsDialog, SettingsChangesNotAllowedGreyEveryControlAndOkStoresNothing) {
  ASSERT_TRUE(SetPolicy(L"AllowSettingsChanges", 0));
  Start();
  Open();
  for (int id : {IDC_LEFT_SOUND, IDC_RIGHT_SOUND, IDC_RIGHT_FLASH, IDC_ONCE_ONLY, IDC_METHOD_NONE, IDC_METHOD_BUTTON, IDC_METHOD_HOLD, IDC_WAIT_SLIDER,
                 IDC_WAIT_LABEL}) {
    EXPECT_FALSE(Enabled(dialog_, id)) << id;
  }
  EXPECT_TRUE(Enabled(dialog_, IDOK));
  EXPECT_TRUE(Enabled(dialog_, IDCANCEL));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog_, IDC_MANAGED_NOTE)));
  const int managedHeight = Height(dialog_);

  DeleteStoredValue(L"ButtonSetup");  // stored at start when it was missing
  // (No click on the greyed radio buttons: under Wine, BM_CLICK on a group whose buttons are all
  // disabled never returns.)
  MoveSlider(dialog_, 300);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), std::nullopt);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);
  // A user writes the settings key (the installers let Users write it): while the lock is in
  // force the program keeps the settings it read at start.
  Store(L"ButtonSetup", 0x1F);
  Store(L"WaitTime", 250);
  Open();
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  EXPECT_EQ(SliderPosition(dialog_), 100);
  Ok();
  DeleteStoredValue(L"ButtonSetup");
  DeleteStoredValue(L"WaitTime");

  DeletePolicyKey();
  // The dialog enables its controls, then hides the note and shrinks: wait for the last step.
  EXPECT_TRUE(WaitUntil([&] { return Height(dialog_) < managedHeight; }, 10000));  // the note's line is gone again
  EXPECT_TRUE(Enabled(dialog_, IDC_LEFT_SOUND));
  EXPECT_TRUE(Enabled(dialog_, IDC_WAIT_SLIDER));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog_, IDC_MANAGED_NOTE)));
  Open();
  EXPECT_EQ(SelectedMethod(dialog_), 2);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 100u);
}

// With a simulated controller: what OK sends.
class SettingsWithController : public SettingsDialog {
 protected:
  void TearDown() override {
    SettingsDialog::TearDown();
    sim_.reset();
  }

  // A fresh pipe name per test: an instance of an earlier test's pipe may linger in the server.
  // The driver completes idle reads, so a queued command goes out without waiting for a touch.
  void StartController(bool plugged) {
    static int serial = 0;
    SimOptions options;
    options.PipeName = L"ostinel-settings-" + std::to_wstring(++serial);
    options.Plugged = plugged;
    options.IdleReads = true;
    options.IdleIntervalMs = 50;
    std::uint32_t error = 0;
    sim_ = StartSim(options, &error);
    ASSERT_TRUE(sim_) << "simulated controller did not start: " << error;
  }

  std::string Received() { return SimHex(SimReceivedBytes(*sim_)); }

  bool WaitForReceived(const std::string& hex, DWORD timeoutMs) {
    return WaitUntil([&] { return Received() == hex; }, timeoutMs);
  }

  UniqueSim sim_;
};

TEST_F(SettingsWithController, HoldTimeAndMethodChangesSendTheSetupAndOtherChangesSendNothing) {
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  Start();
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  ASSERT_TRUE(WaitForReceived("00 01 64 00", 5000)) << Received();  // the stored setup at start
  SimClearReceived(*sim_);

  // The first OK of the run sends even without changes.
  Open();
  Ok();
  EXPECT_TRUE(WaitForReceived("00 01 64 00", 3000)) << Received();
  SimClearReceived(*sim_);

  // Hold time 2.50 s.
  Open();
  MoveSlider(dialog_, 250);
  Ok();
  EXPECT_TRUE(WaitForReceived("00 01 FA 00", 3000)) << Received();
  SimClearReceived(*sim_);

  // Sounds, indicator and once-only alone say nothing to the controller.
  Open();
  Click(dialog_, IDC_LEFT_SOUND);
  Click(dialog_, IDC_RIGHT_FLASH);
  Click(dialog_, IDC_ONCE_ONLY);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 0x26u);
  Sleep(1000);
  EXPECT_EQ(Received(), "");

  // The method: hold still off.
  Open();
  Click(dialog_, IDC_METHOD_BUTTON);
  Ok();
  EXPECT_TRUE(WaitForReceived("00 00 FA 00", 3000)) << Received();
  SimClearReceived(*sim_);

  // Cancel sends nothing.
  Open();
  Click(dialog_, IDC_METHOD_HOLD);
  MoveSlider(dialog_, 400);
  Click(dialog_, IDCANCEL);
  Sleep(1000);
  EXPECT_EQ(Received(), "");
}

TEST_F(SettingsWithController, StoredHoldTimeBeyondSixteenBitsSendsItsLowSixteenBits) {
  Store(L"WaitTime", 70000);  // 0x11170
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  Start();
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  ASSERT_TRUE(WaitForReceived("00 01 70 11", 5000)) << Received();
  SimClearReceived(*sim_);
  Open();
  EXPECT_EQ(SliderPosition(dialog_), 500);
  Ok();  // the first OK of the run: stored unchanged and sent again
  EXPECT_TRUE(WaitForReceived("00 01 70 11", 3000)) << Received();
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), 70000u);
}

TEST_F(SettingsWithController, CommandConfirmedWithoutAControllerReachesOnePluggedInLater) {
  ASSERT_NO_FATAL_FAILURE(StartController(false));
  Start();
  Open();
  MoveSlider(dialog_, 300);
  Click(dialog_, IDC_METHOD_NONE);
  const ULONGLONG before = GetTickCount64();
  Ok();
  EXPECT_LT(GetTickCount64() - before, 1000u);
  DWORD_PTR result = 0;
  EXPECT_TRUE(SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &result));

  Sleep(500);
  ASSERT_TRUE(SimPlug(*sim_));
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  // The setup pending since start and the one from OK are one command with the values in force.
  EXPECT_TRUE(WaitForReceived("00 00 2C 01", 5000)) << Received();
  Sleep(500);
  EXPECT_EQ(Received(), "00 00 2C 01");
}

// Policies written while the program runs reach the controller as an OK would send them (a
// command only for the method or the hold time), the function button follows, the event log names
// the policies in force, and removing them brings back the stored settings, which they never
// touched. Prints the time from each write to the controller's command.
TEST_F(SettingsWithController, PoliciesWrittenWhileRunningActAtOnceAndTheirRemovalBringsTheStoredSettingsBack) {
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  const TraceFile trace;
  Start(trace.Path);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  ASSERT_TRUE(WaitForReceived("00 01 64 00", 5000)) << Received();
  HWND button = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (button = FindFunctionButton(app_->Pid())) != nullptr; }, 5000));
  EXPECT_FALSE(IsWindowVisible(button));

  // The hold time, five times (the first write makes the key); each write until its command.
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  std::vector<double> delays;
  for (DWORD holdTime : {150u, 160u, 170u, 180u, 150u}) {
    SimClearReceived(*sim_);
    char expected[16];
    std::snprintf(expected, sizeof(expected), "00 01 %02X 00", static_cast<unsigned>(holdTime));
    LARGE_INTEGER written{}, arrived{};
    QueryPerformanceCounter(&written);
    ASSERT_TRUE(SetPolicy(L"HoldTime", holdTime));
    ASSERT_TRUE(WaitUntil([&] { return Received() == expected; }, 10000)) << Received() << " for " << holdTime;
    QueryPerformanceCounter(&arrived);
    delays.push_back(static_cast<double>(arrived.QuadPart - written.QuadPart) * 1000.0 / frequency.QuadPart);
  }
  std::vector<double> sorted = delays;
  std::sort(sorted.begin(), sorted.end());
  std::printf("policy write to the controller's command: median %.1f ms, min %.1f ms, max %.1f ms (%zu writes)\n",
              sorted[sorted.size() / 2], sorted.front(), sorted.back(), sorted.size());
  RecordProperty("policy_to_command_median_ms", std::to_string(sorted[sorted.size() / 2]));

  // The method: the function button appears with its command.
  SimClearReceived(*sim_);
  ASSERT_TRUE(SetPolicy(L"RightClickMethod", 2));
  EXPECT_TRUE(WaitForReceived("00 00 96 00", 10000)) << Received();
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(button) != FALSE; }, 5000));

  // A sound alone is in force without a command.
  SimClearReceived(*sim_);
  ASSERT_TRUE(SetPolicy(L"LeftClickSound", 0));
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(
      trace.Path,
      [](const ReportedEvent& e) {
        return e.Id == 22 && !e.Strings.empty() && e.Strings[0] == L"RightClickMethod=2, HoldTime=150, LeftClickSound=0";
      },
      10000, &events));
  EXPECT_EQ(events.back().Strings, (std::vector<std::wstring>{L"RightClickMethod=2, HoldTime=150, LeftClickSound=0",
                                                              L"26", L"150"}));
  EXPECT_EQ(events.back().Type, EVENTLOG_INFORMATION_TYPE);
  Sleep(1000);
  EXPECT_EQ(Received(), "");

  // Removed: the stored settings are in force again, and were never written by a policy.
  DeletePolicyKey();
  EXPECT_TRUE(WaitForReceived("00 01 64 00", 10000)) << Received();
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(button); }, 5000));
  ASSERT_TRUE(WaitForReportedEvent(
      trace.Path, [](const ReportedEvent& e) { return e.Id == 22 && !e.Strings.empty() && e.Strings[0] == L"none"; },
      10000, &events));
  EXPECT_EQ(events.back().Strings, (std::vector<std::wstring>{L"none", L"15", L"100"}));
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 15u);
  EXPECT_EQ(ReadStoredSetting(L"WaitTime"), std::nullopt);
}

// Policies set before the start are in force from the first command; a bad value is ignored and
// said once in the status log and the event log, however often the policies are read again, and
// a new bad value is said again.
TEST_F(SettingsWithController, PoliciesAtStartActFromTheFirstCommandAndBadValuesAreSaidOnce) {
  ASSERT_TRUE(SetPolicy(L"RightClickMethod", 0));
  ASSERT_TRUE(SetPolicy(L"HoldTime", 20));                           // out of range
  ASSERT_TRUE(SetPolicyRaw(L"LeftClickSound", REG_SZ, {'0', 0, 0, 0}));  // another type
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  const TraceFile trace;
  Start(trace.Path);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  ASSERT_TRUE(WaitForReceived("00 00 64 00", 5000)) << Received();  // no method, the stored hold time

  HWND status = WaitForStatusWindow(app_->Pid());
  ASSERT_NE(status, nullptr);
  const std::wstring log = ControlText(status, IDC_STATUS_LOG);
  EXPECT_NE(log.find(L"Policy HoldTime=20 ignored: accepted 50-500"), std::wstring::npos) << Utf8(log);
  EXPECT_NE(log.find(L"Policy LeftClickSound ignored: registry type 1, 4 bytes; a REG_DWORD is expected"),
            std::wstring::npos)
      << Utf8(log);

  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(trace.Path, [](const ReportedEvent& e) { return e.Id == 1; }, 10000, &events));
  // At start: the ignored values, the policies in force, then "started" with the settings in force.
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0].Id, 23u);
  EXPECT_EQ(events[0].Type, EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(events[0].Strings, (std::vector<std::wstring>{L"HoldTime", L"20", L"50-500"}));
  EXPECT_EQ(events[1].Strings, (std::vector<std::wstring>{L"LeftClickSound", L"registry type 1, 4 bytes", L"0-1"}));
  EXPECT_EQ(events[2].Id, 22u);
  EXPECT_EQ(events[2].Strings, (std::vector<std::wstring>{L"RightClickMethod=0", L"11", L"100"}));
  EXPECT_EQ(events[3].Strings[1], L"11");

  // Another value makes a new reading: the same bad values say nothing; a new one is said.
  ASSERT_TRUE(SetPolicy(L"RightClickSound", 0));
  ASSERT_TRUE(WaitForReportedEvent(
      trace.Path, [](const ReportedEvent& e) { return e.Id == 22 && e.Strings[0] == L"RightClickMethod=0, RightClickSound=0"; },
      10000));
  ASSERT_TRUE(SetPolicy(L"HoldTime", 600));
  ASSERT_TRUE(WaitForReportedEvent(
      trace.Path, [](const ReportedEvent& e) { return e.Id == 23 && e.Strings[1] == L"600"; }, 10000, &events));
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 23; }), 3);
  // The status log hears a bad value found after start too, through the device thread that owns it.
  EXPECT_TRUE(WaitUntil(
      [&] { return ControlText(status, IDC_STATUS_LOG).find(L"Policy HoldTime=600 ignored") != std::wstring::npos; }, 5000))
      << Utf8(ControlText(status, IDC_STATUS_LOG));

  // The dialog greys only what a valid policy decides.
  SimClearReceived(*sim_);
  Open();
  EXPECT_FALSE(Enabled(dialog_, IDC_METHOD_HOLD));
  EXPECT_FALSE(Enabled(dialog_, IDC_RIGHT_SOUND));
  EXPECT_TRUE(Enabled(dialog_, IDC_LEFT_SOUND));
  EXPECT_TRUE(Enabled(dialog_, IDC_WAIT_SLIDER));
  EXPECT_EQ(SelectedMethod(dialog_), 0);
  // OK stores the user's own choices: the stored method (hold still) and right sound stay.
  Click(dialog_, IDC_ONCE_ONLY);
  Ok();
  EXPECT_EQ(ReadStoredSetting(L"ButtonSetup"), 0x2Fu);
  EXPECT_TRUE(WaitForReceived("00 00 64 00", 3000)) << Received();  // the first OK of the run sends what is in force
}

// A Group Policy refresh deletes each value it applied and writes it again. The program reads
// once the key is quiet, so a refresh sends nothing, keeps the function button shown, writes no
// event and does not tell a bad value again (its event and status line go together); a real
// change after it still acts. Deleting SOFTWARE\Policies itself and making it again leaves the
// watch working.
TEST_F(SettingsWithController, RefreshesThatRewriteTheSameValuesChangeNothing) {
  const std::vector<std::pair<const wchar_t*, DWORD>> applied = {
      {L"RightClickMethod", 2}, {L"HoldTime", 150}, {L"LeftClickSound", 0}, {L"ButtonOnceOnly", 7}};  // 7: bad
  for (const auto& [name, value] : applied) ASSERT_TRUE(SetPolicy(name, value));
  ASSERT_NO_FATAL_FAILURE(StartController(true));
  const TraceFile trace;
  Start(trace.Path);
  ASSERT_TRUE(WaitUntil([&] { return SimIsConnected(*sim_); }, 10000));
  ASSERT_TRUE(WaitForReceived("00 00 96 00", 5000)) << Received();
  HWND button = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (button = FindFunctionButton(app_->Pid())) != nullptr; }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(button) != FALSE; }, 5000));
  SimClearReceived(*sim_);

  HKEY opened = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &opened), ERROR_SUCCESS);
  // Each refresh deletes the values one by one, then writes them one by one (the sleeps are the
  // refresh's pace, not checks). A reading in between would hide the button with a command.
  for (int refresh = 0; refresh < 3; ++refresh) {
    for (const auto& [name, value] : applied) {
      ASSERT_EQ(RegDeleteValueW(opened, name), ERROR_SUCCESS);
      Sleep(40);
    }
    for (const auto& [name, value] : applied) {
      ASSERT_EQ(RegSetValueExW(opened, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
                ERROR_SUCCESS);
      Sleep(40);
    }
  }
  RegCloseKey(opened);
  // A real change: its command alone reaches the controller, and one event names it.
  ASSERT_TRUE(SetPolicy(L"HoldTime", 160));
  EXPECT_TRUE(WaitForReceived("00 00 A0 00", 10000)) << Received();
  std::vector<ReportedEvent> events;
  ASSERT_TRUE(WaitForReportedEvent(
      trace.Path, [](const ReportedEvent& e) { return e.Id == 22 && e.Strings[0].find(L"HoldTime=160") != std::wstring::npos; },
      10000, &events));
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 22; }), 2);
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const ReportedEvent& e) { return e.Id == 23; }), 1);
  EXPECT_TRUE(IsWindowVisible(button));

  // SOFTWARE\Policies gone: the stored settings act; made again: its values act, and later
  // changes under it are heard.
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &software),
            ERROR_SUCCESS);
  SimClearReceived(*sim_);
  EXPECT_EQ(RegDeleteTreeW(software, L"Policies"), ERROR_SUCCESS);
  RegCloseKey(software);
  EXPECT_TRUE(WaitForReceived("00 01 64 00", 10000)) << Received();
  SimClearReceived(*sim_);
  ASSERT_TRUE(SetPolicy(L"HoldTime", 170));
  EXPECT_TRUE(WaitForReceived("00 01 AA 00", 10000)) << Received();
}

}  // namespace
