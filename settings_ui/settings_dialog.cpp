#include "settings_ui/settings_dialog.h"

#include <commctrl.h>

#include <array>

#include "core/app_state.h"
#include "core/command_handover.h"
#include "core/display_scale.h"
#include "core/settings_table.h"
#include "eventlog/event_log.h"
#include "in_force/settings_in_force.h"
#include "res/resource_ids.h"
#include "settings_ui/dialog_fit.h"
#include "language/interface_language.h"
#include "settings_ui/settings_keyboard.h"
#include "settings_ui/settings_logic.h"
#include "settings_ui/slider_accessible.h"
#include "store/settings_store.h"
#include "win/dpi_scale.h"
#include "win/win_handles.h"

namespace {

constexpr WPARAM kSliderTicFrequency = WAIT_TIME_TICK;
constexpr LPARAM kSliderPageSize = 50;
// Posted to itself after a change of scale, so the picture is set and the texts are fitted after
// the dialog manager has laid the controls out again.
constexpr UINT WM_SETTINGS_RESCALED = WM_APP + 1;
constexpr int kHandWidth = 104;
constexpr int kHandHeight = 100;
// Dialog units the dialog grows by while the managed-settings note shows.
constexpr int kManagedNoteRoom = 12;

// Only an exactly checked state counts.
bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == static_cast<UINT>(BST_CHECKED); }

void SetChecked(HWND dialog, int id, bool checked) {
  CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

SettingsControls ReadControls(HWND dialog) {
  SettingsControls c;
  for (int id : WORD_CONTROLS) c[id] = IsChecked(dialog, id);
  return c;
}

void WriteControls(HWND dialog, const SettingsControls& c) {
  for (int id : WORD_CONTROLS) SetChecked(dialog, id, c[id]);
}

// The values the dialog shows, one per stored setting: the word of the boxes and buttons, the
// hold time of the slider.
SettingValues ShownSettings(HWND dialog) {
  SettingValues shown = StoredDefaults();
  for (StoredSetting s : STORED_SETTINGS) {
    switch (s) {
      case StoredSetting::ButtonSetup: shown[s] = SetupWordFromControls(ReadControls(dialog)); break;
      case StoredSetting::WaitTime: shown[s] = static_cast<std::uint32_t>(AppState.SliderWaitTime); break;
    }
  }
  return shown;
}

// The settings in force into the controls; readWord false leaves the boxes and buttons as they are.
void ShowSettings(HWND dialog, bool readWord) {
  const SettingValues inForce = SettingsInForceOf(AppState);
  for (StoredSetting s : STORED_SETTINGS) {
    switch (s) {
      case StoredSetting::ButtonSetup:
        if (readWord) WriteControls(dialog, ControlsForSetupWord(inForce[s]));
        break;
      case StoredSetting::WaitTime: LoadWaitTime(dialog); break;
    }
  }
}

// The hand picture at dpi: the resource itself at 100 %, otherwise drawn from it at the scaled
// size with averaging (HALFTONE), so it keeps its place in the layout at every scale.
HBITMAP HandPictureForDpi(HINSTANCE instance, UINT dpi) {
  auto source = static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDB_HAND), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!source || dpi == BASE_DPI) return source;
  const UniqueGdiObject sourceHolder(source);
  const int width = ScaleToDpi(kHandWidth, dpi);
  const int height = ScaleToDpi(kHandHeight, dpi);
  HDC screen = GetDC(nullptr);
  HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
  const UniqueMemoryDc from(CreateCompatibleDC(screen));
  const UniqueMemoryDc to(CreateCompatibleDC(screen));
  ReleaseDC(nullptr, screen);
  if (!scaled || !from || !to) {
    if (scaled) DeleteObject(scaled);
    return nullptr;
  }
  const HGDIOBJ oldFrom = SelectObject(from.get(), source);
  const HGDIOBJ oldTo = SelectObject(to.get(), scaled);
  SetStretchBltMode(to.get(), HALFTONE);
  SetBrushOrgEx(to.get(), 0, 0, nullptr);
  StretchBlt(to.get(), 0, 0, width, height, from.get(), 0, 0, kHandWidth, kHandHeight, SRCCOPY);
  SelectObject(from.get(), oldFrom);
  SelectObject(to.get(), oldTo);
  return scaled;
}

// Puts the hand picture for the dialog's scale into its control, which takes the picture's size.
// At 100 % on creation the template's picture stays as it is.
void ScaleHandPicture(HWND dialog, bool creating) {
  const UINT dpi = DpiOfWindow(dialog);
  if (creating && dpi == BASE_DPI) return;
  HBITMAP picture = HandPictureForDpi(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)), dpi);
  if (!picture) return;
  // The control hands back the picture it showed; nothing else uses it.
  auto previous = reinterpret_cast<HGDIOBJ>(
      SendDlgItemMessageW(dialog, IDC_HAND_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
  if (previous && previous != picture) DeleteObject(previous);
}

}  // namespace

HWND CreateSettingsDialog(HINSTANCE instance, HWND owner) {
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), owner, SettingsDialogProc, 0);
}

void LoadSettings(HWND dialog) {
  const bool read = LoadSettingsInForce();
  // Without policies an unreadable store leaves the controls as they are.
  ShowSettings(dialog, read || AppState.PoliciesInForce.Any());
  ShowManagedState(dialog);
}

void LoadWaitTime(HWND dialog) {
  const std::int32_t waitTime = AppState.WaitTime.load(std::memory_order_acquire);

  // The range goes first: the slider keeps its position inside it, so a stored value outside
  // 50-500 puts the thumb at the nearer end while the label shows the stored number.
  HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER);
  SendMessageW(slider, TBM_SETRANGE, TRUE, MAKELONG(WAIT_TIME_MIN, WAIT_TIME_MAX));
  SendMessageW(slider, TBM_SETPAGESIZE, 0, kSliderPageSize);
  SendMessageW(slider, TBM_SETPOS, TRUE, waitTime);
  SendMessageW(slider, TBM_SETTICFREQ, kSliderTicFrequency, 0);

  AppState.SliderWaitTime = waitTime;
  ShowWaitTimeLabel(dialog);
}

void ShowManagedState(HWND dialog) {
  const Policies& policies = AppState.PoliciesInForce;
  // Every control a configured policy decides, all of them while settings changes are locked.
  const bool locked = SettingsLocked(policies);
  for (const PolicyRow& row : POLICY_ROWS) {
    const bool decided = locked || policies.Has(row.Policy);
    for (int id : row.Controls) {
      if (id != 0) EnableWindow(GetDlgItem(dialog, id), decided ? FALSE : TRUE);
    }
  }

  // The note waits hidden inside the dialog; while it shows, the dialog grows by a line and the
  // note sits below the buttons. Without policies the dialog is exactly as it was.
  HWND note = GetDlgItem(dialog, IDC_MANAGED_NOTE);
  const bool managed = policies.Any();
  if (!note || ((GetWindowLongW(note, GWL_STYLE) & WS_VISIBLE) != 0) == managed) return;
  RECT room{0, 0, 0, kManagedNoteRoom};
  MapDialogRect(dialog, &room);
  const int grow = managed ? room.bottom : -room.bottom;
  RECT frame{}, place{};
  GetWindowRect(dialog, &frame);
  GetWindowRect(note, &place);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  if (!managed) ShowWindow(note, SW_HIDE);
  SetWindowPos(note, nullptr, place.left, place.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (managed) ShowWindow(note, SW_SHOWNA);
}

void ShowSettingsInForce(HWND dialog) {
  // An edit not yet confirmed gives way, as when the dialog opens.
  ShowSettings(dialog, true);
  ShowManagedState(dialog);
}

void ShowWaitTimeLabel(HWND dialog) {
  std::array<wchar_t, WAIT_LABEL_CAPACITY> text{};
  FormatWaitTimeLabel(text, AppState.SliderWaitTime, AppState.UnitText.data());
  SetDlgItemTextW(dialog, IDC_WAIT_LABEL, text.data());
  AnnounceSliderValue(dialog);  // a screen reader reads the slider's value as this label shows it
}

void ApplySettings(HWND dialog) {
  const SettingValues before = SettingsInForceOf(AppState);
  const SettingsCommit commit = DecideManagedCommit(before, AppState.UserSettings, ShownSettings(dialog),
                                                    SavedSettingsOf(AppState), AppState.PoliciesInForce);
  // In force first, so the device thread sends the setup command while the registry is written.
  // OK does not wait for the controller to take it: the device thread sends it at once while the
  // controller is connected, or as soon as it connects; waiting here would freeze every window of
  // the program for as long as no controller is present.
  PutCommitInForce(AppState, commit);
  // Only what the user may still change is stored; what a policy decides keeps the stored value.
  bool saved = true;
  for (StoredSetting s : STORED_SETTINGS) {
    if (!commit.Store[s]) continue;
    AppState.UserSettings[s] = commit.Stored[s];
    saved = WriteSetting(StoredValueOf(s).Name, commit.Stored[s]) && saved;
  }
  ReportSettingsOk(before, commit.InForce, saved, saved ? 0 : GetLastError());
  FollowSettingsInForce(commit.InForce);

  // The settings act either way; the user learns that they will not outlive this run (for example
  // a copy started without the installer's grant on the settings key).
  if (!saved) {
    const LanguageTexts* texts = TextsForLanguage(AppState.LanguageMode);
    if (texts) MessageBoxW(dialog, texts->NotSavedText, texts->SettingsTitle, MB_OK | MB_ICONWARNING);
  }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      PrepareSettingsKeys(dialog);
      AnswerForSliderToScreenReaders(dialog);
      ScaleHandPicture(dialog, true);
      LoadSettings(dialog);
      // The controller gets the stored settings as soon as the device thread connects.
      RaisePending(AppState.SetupPending);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          ApplySettings(dialog);
          ShowWindow(dialog, SW_HIDE);
          return 1;
        case IDCANCEL:
          ShowWindow(dialog, SW_HIDE);
          return 1;
        default:
          return 0;
      }
    case WM_ACTIVATE:
      if (!KeepSettingsFocus(dialog, wParam)) return 0;
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
      return 1;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: take the place the system suggests; the dialog
      // manager then scales the font and the controls, and the picture and the fit follow.
      MoveToSuggestedRect(dialog, lParam);
      PostMessageW(dialog, WM_SETTINGS_RESCALED, 0, 0);
      return 0;
    }
    case WM_SETTINGS_RESCALED:
      ScaleHandPicture(dialog, false);
      FitDialogTexts(dialog);
      return 1;
    case WM_HSCROLL:
      // The slider is the dialog's only source of this message.
      AppState.SliderWaitTime =
          static_cast<std::int32_t>(SendDlgItemMessageW(dialog, IDC_WAIT_SLIDER, TBM_GETPOS, 0, 0));
      ShowWaitTimeLabel(dialog);
      return 0;
    default:
      return 0;
  }
}
