#include "settings_ui/slider_accessible.h"

#include <array>

#include "res/resource_ids.h"
#include "win/accessible_object.h"

namespace {

WNDPROC TrackbarProc = nullptr;

// The text of one of the dialog's controls, as it shows it.
HRESULT ReturnControlText(HWND slider, int id, BSTR* out) {
  std::array<wchar_t, 128> text{};
  GetDlgItemTextW(GetParent(slider), id, text.data(), static_cast<int>(text.size()));
  return ReturnAccessibleText(*LoadAccessibilityCalls(), text.data(), out);
}

// The system's object for the slider's client area (its role, state, place and keys), with the
// caption's text as its name and the value label's text as its value.
class SliderAccessible final : public StandardObjectOverlay {
 public:
  SliderAccessible(IAccessible* standard, HWND slider) : StandardObjectOverlay(standard), slider_(slider) {}

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return IsSelf(child) ? ReturnControlText(slider_, IDC_WAIT_CAPTION, name) : standard_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return IsSelf(child) ? ReturnControlText(slider_, IDC_WAIT_LABEL, value) : standard_->get_accValue(child, value);
  }

 private:
  HWND slider_;
};

LRESULT CALLBACK SliderProc(HWND slider, UINT message, WPARAM wParam, LPARAM lParam) {
  // Any other object (the frame, the caret, ...) is the system's: nothing is loaded for it.
  if (message == WM_GETOBJECT && static_cast<LONG>(static_cast<DWORD>(lParam)) == OBJID_CLIENT) {
    const LRESULT answer = AnswerWithOverlay<SliderAccessible>(slider, wParam, slider);
    if (answer) return answer;
  }
  return CallWindowProcW(TrackbarProc, slider, message, wParam, lParam);
}

}  // namespace

void AnswerForSliderToScreenReaders(HWND dialog) {
  HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER);
  if (!slider || TrackbarProc) return;
  TrackbarProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(slider, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SliderProc)));
}

void AnnounceSliderValue(HWND dialog) {
  if (HWND slider = GetDlgItem(dialog, IDC_WAIT_SLIDER)) {
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, slider, OBJID_CLIENT, CHILDID_SELF);
  }
}
