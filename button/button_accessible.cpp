#include "button/button_accessible.h"

#include "button/function_button.h"
#include "button/function_button_logic.h"
#include "core/app_state.h"
#include "language/interface_language.h"
#include "win/accessible_object.h"

namespace {

ButtonAccessibleTexts Texts{L"", L"", L"", L""};

// Hands the caller a copy of text as a new BSTR, which the caller frees.
HRESULT ReturnText(const wchar_t* text, BSTR* out) { return ReturnAccessibleText(*LoadAccessibilityCalls(), text, out); }

// The name of the default action in the interface language.
const wchar_t* ActionText() {
  const LanguageTexts* texts = TextsForLanguage(AppState.LanguageMode);
  return texts ? texts->ButtonAction : L"";
}

const wchar_t* StateText() {
  switch (ChooseButtonImage(AppState)) {
    case ButtonImage::Move:
      return Texts.MoveMode;
    case ButtonImage::Armed:
      return Texts.Armed;
    case ButtonImage::Idle:
      break;
  }
  return Texts.Idle;
}

// The system's object for the window's client area, with the button's name, role, state and
// value put over it; everything else (place, hit test, navigation) is the system's.
class ButtonAccessible final : public StandardObjectOverlay {
 public:
  using StandardObjectOverlay::StandardObjectOverlay;

  // IAccessible: what the button says about itself.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return IsSelf(child) ? ReturnText(Texts.Name, name) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return IsSelf(child) ? ReturnText(StateText(), value) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child) || !role) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!IsSelf(child) || !state) return E_INVALIDARG;
    const HRESULT result = standard_->get_accState(child, state);
    if (FAILED(result) || state->vt != VT_I4) return result;
    state->lVal &= ~(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_PRESSED);  // it never takes the focus
    if (AppState.ButtonActive.load(std::memory_order_acquire) != 0) state->lVal |= STATE_SYSTEM_PRESSED;
    return S_OK;
  }
  // The default action (Narrator's Invoke) arms an idle button; an armed one offers none.
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    if (!IsSelf(child) || !out) return E_INVALIDARG;
    if (!ButtonHasDefaultAction(AppState)) {
      *out = nullptr;
      return S_FALSE;
    }
    return ReturnText(ActionText(), out);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!ButtonDoDefaultAction(AppState)) return DISP_E_MEMBERNOTFOUND;
    RepaintButtonWindow();  // drawn armed, and screen readers told
    return S_OK;
  }
};

}  // namespace

void SetButtonAccessibleTexts(const ButtonAccessibleTexts& texts) {
  Texts = texts;
  if (HWND window = static_cast<HWND>(AppState.ButtonWindow)) SetWindowTextW(window, Texts.Name);
}

LRESULT ButtonAccessibleObject(HWND window, WPARAM wParam, LPARAM lParam) {
  // Any other object (the window's frame, its caret, ...) is the system's: nothing is loaded for it.
  if (static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT) return 0;
  return AnswerWithOverlay<ButtonAccessible>(window, wParam);
}

void AnnounceButtonState(HWND window) {
  NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
  NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}
