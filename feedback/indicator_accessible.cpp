#include "feedback/indicator_accessible.h"

#include <new>

#include "win/accessible_object.h"

namespace {

void Clear(VARIANT* value) {
  value->vt = VT_EMPTY;
  value->lVal = 0;
}

// One object for every request: invisible, empty, without children. Reference counted as COM wants;
// the client releases what LresultFromObject gave it.
class HiddenRing final : public AccessibleObject {
 public:
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

 private:
  ~HiddenRing() override = default;
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
};

}  // namespace

LRESULT AnswerRingAccessibility(WPARAM flags, LPARAM objectId) {
  // Only the client area: the window's own object (its frame, its place among the desktop's
  // windows) stays the system's, which screen readers need to walk the desktop.
  if (static_cast<LONG>(static_cast<DWORD>(objectId)) != OBJID_CLIENT) return 0;
  const AccessibilityCalls* calls = LoadAccessibilityCalls();
  if (!calls) return 0;
  auto* ring = new (std::nothrow) HiddenRing();
  if (!ring) return 0;
  return HandOverAccessibleObject(*calls, flags, ring);
}
