#include "feedback/indicator_accessible.h"

#include <oleacc.h>

#include <atomic>
#include <new>

namespace {

// IAccessible's interface identifier, here so that nothing links the accessibility library.
constexpr IID kAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

void Clear(VARIANT* value) {
  value->vt = VT_EMPTY;
  value->lVal = 0;
}

// COM interfaces have no virtual destructor by design: the object deletes itself in Release.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// One object for every request: invisible, empty, without children. Reference counted as COM wants;
// the client releases what LresultFromObject gave it.
class HiddenRing final : public IAccessible {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kAccessible)) {
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
    return count ? S_OK : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return Nothing(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override { return Nothing(child); }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!role) return E_POINTER;
    Clear(role);
    if (!IsSelf(child)) return E_INVALIDARG;
    role->vt = VT_I4;
    role->lVal = ROLE_SYSTEM_GRAPHIC;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!state) return E_POINTER;
    Clear(state);
    if (!IsSelf(child)) return E_INVALIDARG;
    state->vt = VT_I4;
    state->lVal = STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_UNAVAILABLE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    if (topic) *topic = 0;
    return Nothing(file);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return Empty(focus); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override { return Empty(selection); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* text) override { return Nothing(text); }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* width, long* height, VARIANT) override {
    for (long* value : {x, y, width, height}) {
      if (value) *value = 0;
    }
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* end) override { return Empty(end); }
  HRESULT STDMETHODCALLTYPE accHitTest(long, long, VARIANT* hit) override { return Empty(hit); }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~HiddenRing() = default;

  static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
  template <typename T>
  static HRESULT Nothing(T** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return S_FALSE;
  }
  static HRESULT Empty(VARIANT* out) {
    if (!out) return E_POINTER;
    Clear(out);
    return S_FALSE;
  }

  std::atomic<ULONG> references_{1};
};

}  // namespace

LRESULT AnswerRingAccessibility(WPARAM flags, LPARAM objectId) {
  const auto id = static_cast<LONG>(static_cast<DWORD>(objectId));
  if (id != OBJID_CLIENT && id != OBJID_WINDOW) return 0;
  // Loaded on the first request only: no screen reader, no library. Handing the object over
  // marshals it, which needs COM on this thread.
  using LresultFromObjectFn = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
  static const auto lresultFromObject = [] {
    using CoInitializeExFn = HRESULT(WINAPI*)(void*, DWORD);
    if (HMODULE ole = LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      const auto initialize =
          reinterpret_cast<CoInitializeExFn>(reinterpret_cast<void*>(GetProcAddress(ole, "CoInitializeEx")));
      if (initialize) initialize(nullptr, COINIT_APARTMENTTHREADED);  // kept for the life of the thread
    }
    HMODULE oleacc = LoadLibraryExW(L"oleacc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return oleacc ? reinterpret_cast<LresultFromObjectFn>(
                        reinterpret_cast<void*>(GetProcAddress(oleacc, "LresultFromObject")))
                  : nullptr;
  }();
  if (!lresultFromObject) return 0;
  auto* ring = new (std::nothrow) HiddenRing();
  if (!ring) return 0;
  const LRESULT result = lresultFromObject(kAccessible, flags, static_cast<IAccessible*>(ring));
  ring->Release();  // LresultFromObject holds its own reference
  return result > 0 ? result : 0;
}
