// A stand-in for the web-browser control, registered in a copy of the test
// prefix under the browser's ProgID: Wine's own control shows no pages here.
// On Navigate2 it reports a status text, a load percentage and document
// complete; its document has a title and raises oncontextmenu on a right
// click in the control's window.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

namespace {

HMODULE module = nullptr;
const CLSID kClsid = {0x5b1e2c70, 0x4d1a, 0x4f0e, {0x9a, 0x61, 0x3c, 0x2d, 0x70, 0x1e, 0x88, 0x42}};
const IID kBrowserEvents = {0x34a715a0, 0x6587, 0x11d0, {0x92, 0x4a, 0x00, 0x20, 0xaf, 0xc7, 0xac, 0x4d}};
const IID kDocumentEvents = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

struct Member {
  DISPID id;
  VARTYPE result;
};

// Type information of a coclass (whose default source is `events`) or of a
// dispinterface with `members`.
class TypeInfo : public ITypeInfo {
 public:
  TypeInfo(IID guid, std::vector<Member> members, TypeInfo* events)
      : guid_(guid), members_(std::move(members)), events_(events) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ITypeInfo)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** attr) override {
    *attr = new TYPEATTR{};
    (*attr)->guid = guid_;
    (*attr)->typekind = events_ ? TKIND_COCLASS : TKIND_DISPATCH;
    (*attr)->cImplTypes = events_ ? 1 : 0;
    (*attr)->cFuncs = static_cast<WORD>(members_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** f) override {
    if (index >= members_.size()) return TYPE_E_ELEMENTNOTFOUND;
    *f = new FUNCDESC{};
    (*f)->memid = members_[index].id;
    (*f)->invkind = INVOKE_FUNC;
    (*f)->elemdescFunc.tdesc.vt = members_[index].result;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT, HREFTYPE* ref) override {
    *ref = 1;
    return events_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT, INT* flags) override {
    *flags = IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE, ITypeInfo** out) override {
    if (!events_) return E_FAIL;
    *out = events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* f) override { delete f; }
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

 private:
  IID guid_;
  std::vector<Member> members_;
  TypeInfo* events_;
};

// An automation object with one connectable default source interface.
class Connectable : public IDispatch, public IProvideClassInfo2, public IConnectionPointContainer,
                    public IConnectionPoint {
 public:
  Connectable(IID source, std::vector<Member> members)
      : source_(source), events_(source, std::move(members), nullptr), class_(IID_NULL, {}, &events_) {}
  virtual ~Connectable() {
    if (sink_) sink_->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) *out = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
      *out = static_cast<IProvideClassInfo2*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer)) *out = static_cast<IConnectionPointContainer*>(this);
    else if (void* more = More(riid)) *out = more;
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    *out = &class_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) override {
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *out = source_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!IsEqualIID(riid, source_)) return CONNECT_E_NOCONNECTION;
    *out = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) override {
    *out = source_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = this;
    AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (sink_) return CONNECT_E_ADVISELIMIT;
    if (FAILED(sink->QueryInterface(source_, reinterpret_cast<void**>(&sink_)))) return CONNECT_E_CANNOTCONNECT;
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override {
    if (!sink_) return CONNECT_E_NOCONNECTION;
    sink_->Release();
    sink_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  // Raises an event; arguments in declared order.
  VARIANT Fire(DISPID id, std::vector<VARIANT> args) {
    VARIANT result;
    VariantInit(&result);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS p{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (sink_) sink_->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &result, nullptr, nullptr);
    for (VARIANT& v : args) VariantClear(&v);
    return result;
  }

 protected:
  virtual void* More(REFIID) { return nullptr; }

 private:
  LONG refs_ = 1;
  IID source_;
  TypeInfo events_;
  TypeInfo class_;
  IDispatch* sink_ = nullptr;
};

VARIANT Text(const std::wstring& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(s.c_str());
  return v;
}

VARIANT Int(LONG i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

class Document : public Connectable {
 public:
  Document() : Connectable(kDocumentEvents, {{1023, VT_BOOL}, {-600, VT_BOOL}}) {}
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
    if (lstrcmpiW(names[0], L"title") == 0) {
      *id = 1;
      return S_OK;
    }
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (result) *result = Text(L"Vondrel 快递查询");
    return S_OK;
  }
};

class Browser;
LRESULT CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);

class Browser : public Connectable, public IOleObject, public IOleInPlaceActiveObject {
 public:
  Browser()
      : Connectable(kBrowserEvents, {{102, VT_VOID}, {104, VT_VOID}, {106, VT_VOID}, {108, VT_VOID},
                                     {250, VT_VOID}, {259, VT_VOID}}) {}
  ~Browser() override {
    if (document_) document_->Release();
    if (page_) DestroyWindow(page_);
  }
  // IUnknown through the first base
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return Connectable::QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Connectable::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Connectable::Release(); }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
    if (lstrcmpiW(names[0], L"Navigate2") == 0) {
      *id = 500;
      return S_OK;
    }
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    if (id == 500 && (flags & DISPATCH_METHOD)) {
      // the address is the first argument, the last in the array
      if (!p || p->cArgs != 5 || p->rgvarg[4].vt != VT_BSTR) return DISP_E_BADPARAMCOUNT;
      address_ = p->rgvarg[4].bstrVal;
      if (page_) SetTimer(page_, 1, 300, nullptr);
      return S_OK;
    }
    if (id == 203 && (flags & DISPATCH_PROPERTYGET)) {
      if (!document_ || !result) return E_FAIL;
      result->vt = VT_DISPATCH;
      result->pdispVal = static_cast<IDispatch*>(document_);
      document_->AddRef();
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  // The page load, in steps on the page window's timer.
  void Step() {
    switch (step_++) {
      case 0: Fire(102, {Text(L"正在打开 " + address_)}); break;
      case 1: Fire(108, {Int(50), Int(200)}); break;
      case 2:
        document_ = new Document();
        Fire(259, {Int(0), Int(0)});
        break;
      default: KillTimer(page_, 1); break;
    }
  }
  void RightClick() {
    if (document_) document_->Fire(1023, {});
  }

  // IOleObject: enough for the ATL host to site and show the control
  // the site is held: the host lives as long as its control holds it
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
    *site = site_;
    if (site_) site_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT rect) override {
    if (!page_ && parent) {
      RECT r{0, 0, 100, 100};
      if (rect) r = *rect;
      else GetClientRect(parent, &r);
      page_ = CreateWindowExW(0, L"VondrelTestPage", L"", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                              r.bottom - r.top, parent, nullptr, module, this);
      if (!address_.empty()) SetTimer(page_, 1, 300, nullptr);
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* id) override {
    *id = kClsid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD* cookie) override {
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    *status = OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleInPlaceActiveObject: the host's keyboard hook offers keys here
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override {
    *out = page_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }

 protected:
  void* More(REFIID riid) override {
    if (IsEqualIID(riid, IID_IOleObject)) return static_cast<IOleObject*>(this);
    if (IsEqualIID(riid, IID_IOleInPlaceActiveObject) || IsEqualIID(riid, IID_IOleWindow))
      return static_cast<IOleInPlaceActiveObject*>(this);
    return nullptr;
  }

 private:
  IOleClientSite* site_ = nullptr;
  HWND page_ = nullptr;
  std::wstring address_;
  Document* document_ = nullptr;
  int step_ = 0;
};

LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  auto* browser = reinterpret_cast<Browser*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_TIMER:
      if (browser) browser->Step();
      return 0;
    case WM_RBUTTONUP:
      if (browser) browser->RightClick();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      SetBkMode(dc, TRANSPARENT);
      DrawTextW(dc, L"test page", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

class Factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    WNDCLASSW wc{};
    wc.lpfnWndProc = PageProc;
    wc.hInstance = module;
    wc.lpszClassName = L"VondrelTestPage";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
    auto* b = new Browser();
    const HRESULT hr = static_cast<IDispatch*>(b)->QueryInterface(riid, out);
    static_cast<IDispatch*>(b)->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) module = instance;
  return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!IsEqualCLSID(clsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(riid, out);
}

__declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

}  // extern "C"
