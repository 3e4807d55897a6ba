// What the program's windows need to answer screen readers (WM_GETOBJECT): the COM and Active
// Accessibility calls, loaded on the first request only (no screen reader, no library), and the
// COM part every accessible object of the program shares.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <atomic>
#include <new>
#include <type_traits>

struct AccessibilityCalls {
  HRESULT(WINAPI* CreateStdAccessibleObject)(HWND, LONG, REFIID, void**) = nullptr;
  LRESULT(WINAPI* LresultFromObject)(REFIID, WPARAM, IUnknown*) = nullptr;
  BSTR(WINAPI* SysAllocString)(const OLECHAR*) = nullptr;
};

// The calls, or null when a library is missing. Loaded once, on the UI thread, which then joins COM
// for the life of the process (handing an object over marshals it).
inline const AccessibilityCalls* LoadAccessibilityCalls() {
  static const AccessibilityCalls* const loaded = []() -> const AccessibilityCalls* {
    static AccessibilityCalls calls;
    const auto find = [](auto& function, HMODULE module, const char* name) {
      using F = std::remove_reference_t<decltype(function)>;
      function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
    };
    HMODULE ole32 = LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE oleaut32 = LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE oleacc = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    HRESULT(WINAPI * coInitializeEx)(void*, DWORD) = nullptr;
    find(coInitializeEx, ole32, "CoInitializeEx");
    find(calls.CreateStdAccessibleObject, oleacc, "CreateStdAccessibleObject");
    find(calls.LresultFromObject, oleacc, "LresultFromObject");
    find(calls.SysAllocString, oleaut32, "SysAllocString");
    if (coInitializeEx) coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool ready =
        coInitializeEx && calls.CreateStdAccessibleObject && calls.LresultFromObject && calls.SysAllocString;
    return ready ? &calls : nullptr;
  }();
  return loaded;
}

// COM interfaces have no virtual destructor by design: objects end through Release.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// IUnknown with a reference count (the object starts with one, its maker's) and no IDispatch: clients
// call the IAccessible methods directly.
class AccessibleObject : public IAccessible {
 public:
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
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 protected:
  virtual ~AccessibleObject() = default;
  static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

 private:
  std::atomic<ULONG> references_{1};
};

// The system's object for a window (CreateStdAccessibleObject) with some answers put over it:
// every method a subclass does not override is the system's answer.
class StandardObjectOverlay : public AccessibleObject {
 public:
  explicit StandardObjectOverlay(IAccessible* standard) : standard_(standard) {}

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return standard_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override { return standard_->get_accName(child, out); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return standard_->get_accValue(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return standard_->get_accDescription(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override { return standard_->get_accRole(child, out); }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    return standard_->get_accState(child, out);
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
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }

 protected:
  ~StandardObjectOverlay() override { standard_->Release(); }
  IAccessible* standard_;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// A copy of text as a new BSTR for the caller, who frees it.
inline HRESULT ReturnAccessibleText(const AccessibilityCalls& calls, const wchar_t* text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = calls.SysAllocString(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Hands a new object (holding its maker's reference) to the client that sent WM_GETOBJECT, and
// drops that reference. The message's result: what LresultFromObject made, or 0 when it failed
// (it returns a COM error then), so that the system's own object serves.
inline LRESULT HandOverAccessibleObject(const AccessibilityCalls& calls, WPARAM flags, AccessibleObject* object) {
  const LRESULT result = calls.LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(object));
  object->Release();  // the result holds its own reference
  return result > 0 ? result : 0;
}

// The system's client object for window, made into an Overlay (with extra), handed to the
// client that sent WM_GETOBJECT; 0 (the system's own object serves) when the libraries, the
// system's object or memory are missing.
template <typename Overlay, typename... Extra>
LRESULT AnswerWithOverlay(HWND window, WPARAM flags, Extra... extra) {
  const AccessibilityCalls* calls = LoadAccessibilityCalls();
  if (!calls) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(calls->CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&standard))) ||
      !standard) {
    return 0;
  }
  auto* overlay = new (std::nothrow) Overlay(standard, extra...);
  if (!overlay) {
    standard->Release();
    return 0;
  }
  return HandOverAccessibleObject(*calls, flags, overlay);
}
