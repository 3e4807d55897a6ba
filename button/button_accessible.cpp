#include "button/button_accessible.h"

#include <oleacc.h>

#include <atomic>
#include <new>

#include "button/function_button.h"
#include "button/function_button_logic.h"
#include "core/app_state.h"

namespace {

ButtonAccessibleTexts Texts{L"", L"", L"", L""};

// The libraries of Active Accessibility and COM, loaded on the first request of a client.
struct AccessibilityCalls {
  bool Tried = false;
  bool Ready = false;
  HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
  LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, IUnknown*) = nullptr;
  BSTR(WINAPI* SysAllocString)(const OLECHAR*) = nullptr;
};
AccessibilityCalls Calls;

template <typename F>
void Find(F& function, HMODULE module, const char* name) {
  function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

bool LoadCalls() {
  if (Calls.Tried) return Calls.Ready;
  Calls.Tried = true;
  HMODULE ole32 = LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HMODULE oleaut32 = LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HMODULE oleacc = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HRESULT(WINAPI * coInitializeEx)(void*, DWORD) = nullptr;
  Find(coInitializeEx, ole32, "CoInitializeEx");
  Find(Calls.CreateStdAccessibleObject, oleacc, "CreateStdAccessibleObject");
  Find(Calls.LresultFromObject, oleacc, "LresultFromObject");
  Find(Calls.SysAllocString, oleaut32, "SysAllocString");
  // The object is handed over through COM, which this thread needs (kept until the process ends).
  if (coInitializeEx) coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Calls.Ready = coInitializeEx && Calls.CreateStdAccessibleObject && Calls.LresultFromObject && Calls.SysAllocString;
  return Calls.Ready;
}

bool Self(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT Text(const wchar_t* text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = Calls.SysAllocString(text);
  return *out ? S_OK : E_OUTOFMEMORY;
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

// COM interfaces have no virtual destructor: objects end through Release.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// The system's object for the window's client area, with the button's name, role, state and
// value put over it; everything else (place, hit test, navigation) is the system's.
class ButtonAccessible final : public IAccessible {
 public:
  explicit ButtonAccessible(IAccessible* standard) : standard_(standard) {}

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (!out) return E_POINTER;
    if (id == __uuidof(IUnknown) || id == __uuidof(IDispatch) || id == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) {
      standard_->Release();
      delete this;
    }
    return left;
  }

  // IDispatch: not offered (clients call the methods directly).
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible: what the button says about itself.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return Self(child) ? Text(Texts.Name, name) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return Self(child) ? Text(StateText(), value) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!Self(child) || !role) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_PUSHBUTTON;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!Self(child) || !state) return E_INVALIDARG;
    const HRESULT result = standard_->get_accState(child, state);
    if (FAILED(result) || state->vt != VT_I4) return result;
    state->lVal &= ~(STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_PRESSED);  // it never takes the focus
    if (AppState.ButtonActive.load(std::memory_order_acquire) != 0) state->lVal |= STATE_SYSTEM_PRESSED;
    return S_OK;
  }

  // IAccessible: the system's answers.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return standard_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return standard_->get_accDescription(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return standard_->get_accHelp(child, out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return standard_->get_accKeyboardShortcut(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override { return standard_->get_accFocus(out); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return standard_->get_accSelection(out); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return standard_->get_accDefaultAction(child, out);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
    return standard_->accLocation(x, y, w, h, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) override {
    return standard_->accNavigate(direction, start, out);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
    return standard_->accHitTest(x, y, out);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    return standard_->accDoDefaultAction(child);
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~ButtonAccessible() = default;
  IAccessible* standard_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

void SetButtonAccessibleTexts(const ButtonAccessibleTexts& texts) {
  Texts = texts;
  if (HWND window = static_cast<HWND>(AppState.ButtonWindow)) SetWindowTextW(window, Texts.Name);
}

LRESULT ButtonAccessibleObject(HWND window, WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || !LoadCalls()) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(Calls.CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&standard))) ||
      !standard) {
    return 0;
  }
  auto* button = new (std::nothrow) ButtonAccessible(standard);
  if (!button) {
    standard->Release();
    return 0;
  }
  const LRESULT result = Calls.LresultFromObject(__uuidof(IAccessible), wParam, button);
  button->Release();  // the result holds its own reference
  return result;
}

void AnnounceButtonState(HWND window) {
  NotifyWinEvent(EVENT_OBJECT_STATECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
  NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, window, OBJID_CLIENT, CHILDID_SELF);
}
