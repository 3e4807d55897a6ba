// What the program's windows need to answer screen readers (WM_GETOBJECT): the COM and Active
// Accessibility calls, loaded on the first request only (no screen reader, no library), and the
// COM part every accessible object of the program shares.
#pragma once

#include <windows.h>
#include <oleacc.h>

#include <atomic>
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

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Hands a new object (holding its maker's reference) to the client that sent WM_GETOBJECT, and
// drops that reference. The message's result: what LresultFromObject made, or 0 when it failed
// (it returns a COM error then), so that the system's own object serves.
inline LRESULT HandOverAccessibleObject(const AccessibilityCalls& calls, WPARAM flags, AccessibleObject* object) {
  const LRESULT result = calls.LresultFromObject(__uuidof(IAccessible), flags, static_cast<IAccessible*>(object));
  object->Release();  // the result holds its own reference
  return result > 0 ? result : 0;
}
