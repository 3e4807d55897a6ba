#include "settings_ui/settings_keyboard.h"

#include <array>

#include "res/resource_ids.h"

namespace {

constexpr std::array<int, 3> kMethodButtons = {IDC_METHOD_NONE, IDC_METHOD_BUTTON, IDC_METHOD_HOLD};

// The control that had the focus when the dialog was last left.
HWND SavedFocus = nullptr;

bool IsMethodButton(HWND control) {
  const int id = GetDlgCtrlID(control);
  for (int method : kMethodButtons) {
    if (id == method) return true;
  }
  return false;
}

bool Checked(HWND control) { return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool CanTakeFocus(HWND dialog, HWND control) {
  return control && IsChild(dialog, control) && IsWindowVisible(control) && IsWindowEnabled(control) &&
         !(IsMethodButton(control) && !Checked(control));
}

// The first control in template order that Tab stops at.
HWND FirstTabStop(HWND dialog) {
  for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
    if ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && CanTakeFocus(dialog, control)) return control;
  }
  return nullptr;
}

// Focus on control, or on the first control when it cannot take it; the dialog manager moves the
// default button along. Focus rectangles show however the dialog was reached.
void FocusControl(HWND dialog, HWND control) {
  if (!CanTakeFocus(dialog, control)) control = FirstTabStop(dialog);
  if (control) SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SendMessageW(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

}  // namespace

void PrepareSettingsKeys(HWND dialog) {
  if (HWND after = GetWindow(GetDlgItem(dialog, kMethodButtons.back()), GW_HWNDNEXT)) {
    SetWindowLongW(after, GWL_STYLE, GetWindowLongW(after, GWL_STYLE) | WS_GROUP);
  }
}

bool KeepSettingsFocus(HWND dialog, WPARAM activation) {
  if (LOWORD(activation) == WA_INACTIVE) {
    HWND focus = GetFocus();
    SavedFocus = IsChild(dialog, focus) ? focus : nullptr;
    return false;
  }
  FocusControl(dialog, SavedFocus);
  return true;
}

void FocusFirstSettingsControl(HWND dialog) {
  SavedFocus = nullptr;
  if (GetActiveWindow() == dialog) FocusControl(dialog, nullptr);
}
