// The ActiveX host's Windows side: controls in "AtlAxWin" windows of
// atl.dll, a core::Dispatch over IDispatch with a real event sink built from
// the object's type information, and the keyboard hook.
#include "platform/win32/win32.h"  // first: windows.h before the other system headers
#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <vector>

#include "platform/common/backend.h"
#include "platform/core.h"
#include "platform/win32/ocx_dispatch.h"

namespace win32 {

namespace {

AtlAxGetControlFn atl_get_control = nullptr;
HHOOK hook = nullptr;

const IID kIidProvideClassInfo2 = {0xa6bc3ac0, 0xdbaa, 0x11ce, {0x9d, 0xe3, 0x00, 0xaa, 0x00, 0x4b, 0xb8, 0x51}};

BSTR MakeBstr(std::string_view utf8) {
  const std::wstring w = Wide(utf8);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string FromBstr(BSTR b) { return b ? Utf8(std::wstring_view(b, SysStringLen(b))) : std::string(); }

}  // namespace

bool LoadAtl() {
  if (atl_get_control) return true;
  HMODULE atl = LoadLibraryW(L"atl.dll");
  if (!atl) return false;
  auto init = reinterpret_cast<AtlAxWinInitFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  atl_get_control =
      reinterpret_cast<AtlAxGetControlFn>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  if (init) init();
  return atl_get_control != nullptr;
}

AtlAxGetControlFn AtlAxGetControl() { return atl_get_control; }

// ---- VARIANT <-> core::Variant ---------------------------------------------

void ToVariant(const core::Variant& in, VARIANT& out) {
  VariantInit(&out);
  switch (in.type) {
    case core::Variant::Type::kEmpty: break;
    case core::Variant::Type::kInt:
      out.vt = VT_I4;
      out.lVal = static_cast<LONG>(in.i);
      break;
    case core::Variant::Type::kBool:
      out.vt = VT_BOOL;
      out.boolVal = in.b ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case core::Variant::Type::kText:
      out.vt = VT_BSTR;
      out.bstrVal = MakeBstr(in.text);
      break;
    case core::Variant::Type::kObject:
      if (auto* d = dynamic_cast<ComDispatch*>(in.object.get())) {
        out.vt = VT_DISPATCH;
        out.pdispVal = d->raw();
        out.pdispVal->AddRef();
      }
      break;
  }
}

core::Variant FromVariant(const VARIANT& in) {
  const VARIANT* v = &in;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  const bool byref = v->vt & VT_BYREF;
  switch (v->vt & VT_TYPEMASK) {
    case VT_BSTR: {
      BSTR b = byref ? (v->pbstrVal ? *v->pbstrVal : nullptr) : v->bstrVal;
      return b ? core::Variant::Text(FromBstr(b)) : core::Variant::Empty();
    }
    case VT_I4: case VT_INT: return core::Variant::Int(byref ? *v->plVal : v->lVal);
    case VT_UI4: case VT_UINT: return core::Variant::Int(byref ? *v->pulVal : v->ulVal);
    case VT_I2: return core::Variant::Int(byref ? *v->piVal : v->iVal);
    case VT_UI2: return core::Variant::Int(byref ? *v->puiVal : v->uiVal);
    case VT_I1: return core::Variant::Int(byref ? *v->pcVal : v->cVal);
    case VT_UI1: return core::Variant::Int(byref ? *v->pbVal : v->bVal);
    case VT_BOOL: return core::Variant::Bool((byref ? *v->pboolVal : v->boolVal) != VARIANT_FALSE);
    case VT_R8: return core::Variant::Int(static_cast<std::int64_t>(byref ? *v->pdblVal : v->dblVal));
    case VT_R4: return core::Variant::Int(static_cast<std::int64_t>(byref ? *v->pfltVal : v->fltVal));
    case VT_DISPATCH: case VT_UNKNOWN: {
      // an event's pointer argument, passed as it is
      IUnknown* p = byref ? (v->ppunkVal ? *v->ppunkVal : nullptr) : v->punkVal;
      return core::Variant::Int(static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(p)));
    }
    default: return core::Variant::Empty();
  }
}

// ---- the event sink ------------------------------------------------------------

class Sink : public IDispatch {
 public:
  Sink(IID iid, std::vector<core::EventMember> members, core::EventSink* target)
      : iid_(iid), members_(std::move(members)), target_(target) {}

  virtual ~Sink() = default;
  void Detach() { target_ = nullptr; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (!target_) return S_OK;
    std::vector<core::Variant> args;
    if (params)
      for (UINT i = params->cArgs; i > 0; --i) args.push_back(FromVariant(params->rgvarg[i - 1]));
    bool returns_bool = false;
    for (const core::EventMember& m : members_)
      if (m.dispid == id) returns_bool = m.returns_bool;
    AddRef();  // the handler may disconnect this sink
    const bool answer = target_ ? target_->OnEvent(id, args) : true;
    if (returns_bool && result) {
      VariantClear(result);
      result->vt = VT_BOOL;
      result->boolVal = answer ? VARIANT_TRUE : VARIANT_FALSE;
    }
    Release();
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  IID iid_;
  std::vector<core::EventMember> members_;
  core::EventSink* target_;
};

IDispatch* MakeEventSink(const IID& iid, std::vector<core::EventMember> members, core::EventSink* target) {
  return new Sink(iid, std::move(members), target);
}

// ---- the dispatch adapter --------------------------------------------------

ComDispatch::ComDispatch(IDispatch* dispatch) : dispatch_(dispatch) { dispatch_->AddRef(); }

ComDispatch::~ComDispatch() {
  Connect(nullptr);
  dispatch_->Release();
}

std::int32_t ComDispatch::Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                                 core::Variant* result) {
  std::vector<VARIANT> values(args.size());
  // DISPPARAMS holds the arguments last first
  for (std::size_t i = 0; i < args.size(); ++i) ToVariant(args[i], values[args.size() - 1 - i]);
  DISPPARAMS params{values.empty() ? nullptr : values.data(), nullptr, static_cast<UINT>(values.size()), 0};
  DISPID put = DISPID_PROPERTYPUT;
  WORD how = 0;
  if (flags & core::kMethod) how |= DISPATCH_METHOD;
  if (flags & core::kPropertyGet) how |= DISPATCH_PROPERTYGET;
  if (flags & core::kPropertyPut) {
    how = DISPATCH_PROPERTYPUT;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT out;
  VariantInit(&out);
  EXCEPINFO error{};
  UINT bad = 0;
  const HRESULT hr = dispatch_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, how, &params, &out, &error, &bad);
  for (VARIANT& v : values) VariantClear(&v);
  if (error.bstrSource) SysFreeString(error.bstrSource);
  if (error.bstrDescription) SysFreeString(error.bstrDescription);
  if (error.bstrHelpFile) SysFreeString(error.bstrHelpFile);
  if (result) {
    if (SUCCEEDED(hr) && out.vt == VT_DISPATCH) {
      *result = out.pdispVal ? core::Variant::Object(std::make_shared<ComDispatch>(out.pdispVal)) : core::Variant{};
    } else if (SUCCEEDED(hr)) {
      *result = FromVariant(out);
    } else {
      *result = core::Variant{};
    }
  }
  VariantClear(&out);
  return static_cast<std::int32_t>(hr);
}

std::int32_t ComDispatch::IdOfName(std::string_view name) {
  std::wstring w = Wide(name);
  LPOLESTR names[] = {w.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return -1;
  return id;
}

namespace {

// The default source interface's type information, from the coclass.
ITypeInfo* SourceOfClass(ITypeInfo* coclass) {
  TYPEATTR* attr = nullptr;
  if (FAILED(coclass->GetTypeAttr(&attr))) return nullptr;
  ITypeInfo* found = nullptr;
  for (UINT i = 0; i < attr->cImplTypes && !found; ++i) {
    INT flags = 0;
    if (FAILED(coclass->GetImplTypeFlags(i, &flags))) continue;
    if ((flags & (IMPLTYPEFLAG_FSOURCE | IMPLTYPEFLAG_FDEFAULT)) != (IMPLTYPEFLAG_FSOURCE | IMPLTYPEFLAG_FDEFAULT))
      continue;
    HREFTYPE ref = 0;
    if (SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref))) coclass->GetRefTypeInfo(ref, &found);
  }
  coclass->ReleaseTypeAttr(attr);
  return found;
}

}  // namespace

void ComDispatch::LoadEvents() {
  if (events_loaded_) return;
  events_loaded_ = true;
  ITypeInfo* source = nullptr;
  IProvideClassInfo2* info2 = nullptr;
  if (SUCCEEDED(dispatch_->QueryInterface(kIidProvideClassInfo2, reinterpret_cast<void**>(&info2)))) {
    IID iid;
    if (SUCCEEDED(info2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iid))) {
      ITypeInfo* own = nullptr;
      ITypeLib* lib = nullptr;
      UINT index = 0;
      if (SUCCEEDED(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, &own)) && own) {
        if (SUCCEEDED(own->GetContainingTypeLib(&lib, &index)) && lib) {
          lib->GetTypeInfoOfGuid(iid, &source);
          lib->Release();
        }
        own->Release();
      }
      if (!source) {
        ITypeInfo* coclass = nullptr;
        if (SUCCEEDED(info2->GetClassInfo(&coclass)) && coclass) {
          source = SourceOfClass(coclass);
          coclass->Release();
        }
      }
    }
    info2->Release();
  }
  if (!source) {
    IProvideClassInfo* info = nullptr;
    if (SUCCEEDED(dispatch_->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&info)))) {
      ITypeInfo* coclass = nullptr;
      if (SUCCEEDED(info->GetClassInfo(&coclass)) && coclass) {
        source = SourceOfClass(coclass);
        coclass->Release();
      }
      info->Release();
    }
  }
  if (!source) return;
  TYPEATTR* attr = nullptr;
  if (SUCCEEDED(source->GetTypeAttr(&attr))) {
    source_iid_ = attr->guid;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (FAILED(source->GetFuncDesc(i, &f))) continue;
      members_.push_back({static_cast<std::int32_t>(f->memid), f->elemdescFunc.tdesc.vt == VT_BOOL});
      source->ReleaseFuncDesc(f);
    }
    source->ReleaseTypeAttr(attr);
  }
  source->Release();
}

std::vector<core::EventMember> ComDispatch::EventMembers() {
  LoadEvents();
  return members_;
}

bool ComDispatch::Connect(core::EventSink* sink) {
  if (point_) {
    point_->Unadvise(cookie_);
    point_->Release();
    point_ = nullptr;
  }
  if (sink_) {
    sink_->Detach();
    sink_->Release();
    sink_ = nullptr;
  }
  if (!sink) return true;
  LoadEvents();
  if (members_.empty()) return false;
  IConnectionPointContainer* container = nullptr;
  if (FAILED(dispatch_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))))
    return false;
  IConnectionPoint* point = nullptr;
  const HRESULT found = container->FindConnectionPoint(source_iid_, &point);
  container->Release();
  if (FAILED(found) || !point) return false;
  auto* s = static_cast<Sink*>(MakeEventSink(source_iid_, members_, sink));
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(s), &cookie))) {
    s->Release();
    point->Release();
    return false;
  }
  point_ = point;
  cookie_ = cookie;
  sink_ = s;
  return true;
}

// ---- the hook --------------------------------------------------------------

namespace {

HWND HostOf(HWND hwnd) {
  wchar_t name[64];
  for (HWND h = hwnd; h; h = GetParent(h)) {
    if (GetClassNameW(h, name, 64) && lstrcmpiW(name, L"AtlAxWin") == 0) return h;
    if (!(GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return nullptr;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wp, LPARAM lp) {
  if (code >= 0 && wp == PM_REMOVE) {
    MSG* m = reinterpret_cast<MSG*>(lp);
    if (m->message == WM_CLOSE && LoadedWindowCount() <= 1) {
      HHOOK h = hook;
      hook = nullptr;
      const LRESULT r = CallNextHookEx(h, code, wp, lp);
      if (h) UnhookWindowsHookEx(h);
      return r;
    }
    const bool key = m->message >= WM_KEYFIRST && m->message <= 0x108;
    const bool mouse = m->message >= 0x200 && m->message <= 0x209;
    // Esc stays the window's: it closes the window wherever the focus is
    const bool escape = m->message == WM_KEYDOWN && m->wParam == VK_ESCAPE;
    if ((key || mouse) && !escape && atl_get_control) {
      if (HWND host = HostOf(m->hwnd)) {
        IUnknown* unknown = nullptr;
        if (SUCCEEDED(atl_get_control(host, &unknown)) && unknown) {
          IOleInPlaceActiveObject* active = nullptr;
          bool taken = false;
          if (SUCCEEDED(unknown->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&active)))) {
            taken = active->TranslateAccelerator(m) == S_OK;
            active->Release();
          }
          unknown->Release();
          if (taken) {
            m->message = WM_NULL;
            m->wParam = 0;
            m->lParam = 0;
            return 0;
          }
        }
      }
    }
  }
  return CallNextHookEx(hook, code, wp, lp);
}

}  // namespace

}  // namespace win32

namespace common {

CreatedControl CreateOcxControl(core::Handle parent, std::string_view prog_id, int x, int y, int width, int height,
                                int border) {
  if (!parent || !win32::LoadAtl()) return {};
  const std::wstring title = win32::Wide(prog_id);
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (border ? WS_BORDER : 0);
  HWND hwnd = CreateWindowExW(0, L"AtlAxWin", title.c_str(), style, x, y, std::max(width, 0), std::max(height, 0),
                              reinterpret_cast<HWND>(parent), nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return {};
  IUnknown* unknown = nullptr;
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(win32::AtlAxGetControl()(hwnd, &unknown)) && unknown) {
    unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    unknown->Release();
  }
  if (!dispatch) {
    DestroyWindow(hwnd);
    return {};
  }
  // below every control of the window
  SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  CreatedControl c;
  c.window = reinterpret_cast<core::Handle>(hwnd);
  c.object = std::make_shared<win32::ComDispatch>(dispatch);
  dispatch->Release();
  return c;
}

int InstallOcxHook() {
  if (win32::hook) return 1;
  win32::hook = SetWindowsHookExW(WH_GETMESSAGE, win32::GetMessageHook, nullptr, GetCurrentThreadId());
  return win32::hook ? 1 : 0;
}

}  // namespace common
