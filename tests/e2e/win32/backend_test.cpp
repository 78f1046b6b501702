// The Windows backend under Wine: window loading, message boxes, the exit
// command from another thread, the ActiveX host on atl.dll with the system's
// web-browser control, the HTTP read on WinINet, and the command interpreter
// running a batch file.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/backend.h"
#include "platform/common/dispatch.h"
#include "platform/common/windef.h"
#include "platform/core.h"
#include "platform/internet.h"
#include "platform/ocx.h"
#include "platform/statusbar.h"
#include "platform/tabs.h"
#include "platform/win32/ocx_dispatch.h"

namespace {

std::vector<std::string> events;

void Pump(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(10);
  }
}

// A one-shot HTTP server on loopback: records the request, sends `answer`.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::string answer) : answer_(std::move(answer)) {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(listener_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string Request() {
    for (int i = 0; i < 500 && !done_; ++i) Sleep(10);
    return request_;
  }

 private:
  void Serve() {
    SOCKET s = accept(listener_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    char buffer[4096];
    while (request_.find("\r\n\r\n") == std::string::npos) {
      const int n = recv(s, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request_.append(buffer, static_cast<std::size_t>(n));
    }
    done_ = true;
    send(s, answer_.data(), static_cast<int>(answer_.size()), 0);
    shutdown(s, SD_BOTH);
    closesocket(s);
  }
  std::string answer_;
  SOCKET listener_;
  int port_ = 0;
  std::thread thread_;
  std::string request_;
  std::atomic<bool> done_{false};
};

const core::WindowDef kTestWindow = {
    .name = "TestWindow",
    .caption = "后端测试",
    .width = 400,
    .height = 300,
    .controls =
        {
            {.name = "标签1", .kind = core::Kind::kLabel, .left = 10, .top = 10, .width = 100, .height = 20,
             .caption = "上面"},
            {.name = "标签2", .kind = core::Kind::kLabel, .left = 0, .top = 0, .width = 200, .height = 100},
            {.name = "选择夹", .kind = core::Kind::kTabControl, .left = 8, .top = 120, .width = 300, .height = 120,
             .tabs = {"一", "二"}},
            {.name = "编辑框", .kind = core::Kind::kEditBox, .left = 10, .top = 30, .width = 100, .height = 40,
             .multiline = true, .read_only = true, .border = true, .tab_control = "选择夹", .tab_page = 1},
            {.name = "状态条", .kind = core::Kind::kStatusBar, .parts = {{60, "零"}, {-1, ""}},
             .docked_bottom = true},
        },
};

const core::WindowDef kDialog = {.name = "Dialog", .caption = "对话框", .width = 200, .height = 100};

class BackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { core::Initialize(); }
  void SetUp() override {
    common::ClearBindings();
    events.clear();
  }
  void TearDown() override {
    core::DestroyWindow(kDialog, true);
    core::DestroyWindow(kTestWindow, true);
    Pump(50);
  }
};

TEST_F(BackendTest, LoadRaisesCreatedMovedResizedBeforeShowingCentred) {
  core::Bind(kTestWindow, "", core::Event::kCreated, [] {
    events.push_back(IsWindowVisible(reinterpret_cast<HWND>(core::WindowHandle(kTestWindow))) ? "created shown"
                                                                                               : "created");
  });
  core::Bind(kTestWindow, "", core::Event::kMoved, [] { events.push_back("moved"); });
  core::Bind(kTestWindow, "", core::Event::kResized, [] { events.push_back("resized"); });
  ASSERT_TRUE(core::LoadWindow(kTestWindow));
  EXPECT_EQ(events, (std::vector<std::string>{"created", "moved", "resized"}));
  HWND h = reinterpret_cast<HWND>(core::WindowHandle(kTestWindow));
  EXPECT_TRUE(IsWindowVisible(h));
  RECT r;
  GetWindowRect(h, &r);
  const core::Point at = core::CenteredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), 400, 300);
  EXPECT_EQ(r.left, at.x);
  EXPECT_EQ(r.top, at.y);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);

  // stacking: the first control of the definition on top
  wchar_t cls[64];
  HWND top = GetWindow(h, GW_CHILD);
  GetClassNameW(top, cls, 64);
  EXPECT_STREQ(cls, L"VondrelLabel");
  RECT lr;
  GetWindowRect(top, &lr);
  EXPECT_EQ(lr.right - lr.left, 100);

  // the status bar is docked along the bottom with the window's width
  const int status_h = static_cast<int>(core::GetProperty(kTestWindow, "状态条", core::kHeight));
  EXPECT_GT(status_h, 10);
  EXPECT_EQ(core::GetProperty(kTestWindow, "状态条", core::kWidth), core::ClientWidth(kTestWindow));
  EXPECT_EQ(statusbar::GetText(kTestWindow, "状态条", 0), "零");
  statusbar::SetText(kTestWindow, "状态条", 1, "就绪");
  statusbar::SetText(kTestWindow, "状态条", 2, "beyond the last part");
  EXPECT_EQ(statusbar::GetText(kTestWindow, "状态条", 1), "就绪");

  // later size changes re-dock the bar first, then raise the event
  events.clear();
  core::Bind(kTestWindow, "", core::Event::kResized, [] {
    const auto s = core::GetProperty(kTestWindow, "状态条", core::kTop) +
                   core::GetProperty(kTestWindow, "状态条", core::kHeight);
    events.push_back(s == core::ClientHeight(kTestWindow) ? "resized docked" : "resized undocked");
  });
  SetWindowPos(h, nullptr, 0, 0, 500, 380, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(events, (std::vector<std::string>{"resized docked"}));
}

TEST_F(BackendTest, TabChangeShowsItsPageAndFiresOnlyOnARealChange) {
  core::Bind(kTestWindow, "选择夹", core::Event::kTabChanged, [] {
    events.push_back("tab " + std::to_string(tabs::CurrentTab(kTestWindow, "选择夹")));
  });
  ASSERT_TRUE(core::LoadWindow(kTestWindow));
  HWND h = reinterpret_cast<HWND>(core::WindowHandle(kTestWindow));
  HWND tab = FindWindowExW(h, nullptr, WC_TABCONTROLW, nullptr);
  HWND edit = FindWindowExW(h, nullptr, L"EDIT", nullptr);
  ASSERT_TRUE(tab && edit);
  EXPECT_FALSE(IsWindowVisible(edit));
  RECT er, tr;
  GetWindowRect(edit, &er);
  GetWindowRect(tab, &tr);
  EXPECT_EQ(er.left - tr.left, 10);  // page places count from the tab control
  EXPECT_EQ(er.top - tr.top, 30);
  auto choose = [&](int index) {
    SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    NMHDR n{tab, static_cast<UINT_PTR>(GetDlgCtrlID(tab)), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(h, WM_NOTIFY, n.idFrom, reinterpret_cast<LPARAM>(&n));
  };
  choose(1);
  choose(1);
  EXPECT_TRUE(IsWindowVisible(edit));
  choose(0);
  EXPECT_EQ(events, (std::vector<std::string>{"tab 1", "tab 0"}));
  EXPECT_FALSE(IsWindowVisible(edit));
  core::SetProperty(kTestWindow, "编辑框", core::kContent, "\r\n程序文件夹:\r\nC:");
  EXPECT_EQ(core::GetTextProperty(kTestWindow, "编辑框", core::kContent), "\r\n程序文件夹:\r\nC:");
}

TEST_F(BackendTest, ModalLoadDisablesTheOthersUntilQueuedDestroy) {
  ASSERT_TRUE(core::LoadWindow(kTestWindow));
  HWND main = reinterpret_cast<HWND>(core::WindowHandle(kTestWindow));
  core::Bind(kDialog, "", core::Event::kCreated, [] { core::DestroyWindow(kDialog); });
  core::Bind(kDialog, "", core::Event::kResized, [] {
    // the queued destroy has not happened yet; the main window waits
    events.push_back(core::IsLoaded(kDialog) ? "dialog up" : "dialog gone");
    events.push_back(IsWindowEnabled(reinterpret_cast<HWND>(core::WindowHandle(kTestWindow))) ? "main enabled"
                                                                                              : "main disabled");
  });
  ASSERT_TRUE(core::LoadWindow(kDialog, nullptr, true));
  EXPECT_EQ(events, (std::vector<std::string>{"dialog up", "main disabled"}));
  EXPECT_FALSE(core::IsLoaded(kDialog));
  EXPECT_TRUE(IsWindowEnabled(main));
}

struct BoxCase {
  int flags;
  int button;
  int answer;
};

class MessageBoxTest : public BackendTest, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(MessageBoxTest, AnswersCountFromZeroAndAnEmptyCaptionReadsInfo) {
  const BoxCase c = GetParam();
  std::atomic<int> answer{-100};
  std::thread t([&] { answer = core::ShowMessageBox("正文", "", c.flags); });
  HWND box = nullptr;
  for (int i = 0; i < 500 && !box; ++i, Sleep(10)) box = FindWindowW(L"#32770", L"信息：");
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, c.button)));
  t.join();
  EXPECT_EQ(answer, c.answer);
}

INSTANTIATE_TEST_SUITE_P(Buttons, MessageBoxTest,
                         ::testing::Values(BoxCase{core::kOk, IDOK, core::kAnswerOk},
                                           BoxCase{core::kOkCancel, IDOK, core::kAnswerOk},
                                           BoxCase{core::kOkCancel | core::kIconQuestion, IDCANCEL,
                                                   core::kAnswerCancel}));

// ---- the dispatch adapter over a recording IDispatch --------------------------

// Records what Invoke receives and answers with `answer`.
class RecordingDispatch : public IDispatch {
 public:
  std::vector<VARIANT> received;  // as passed, last argument first
  WORD flags = 0;
  UINT named = 0;
  VARIANT answer{};
  LONG refs = 1;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
    if (lstrcmpW(names[0], L"title") == 0) {
      *id = 7;
      return S_OK;
    }
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD how, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                                   UINT*) override {
    flags = how;
    named = p->cNamedArgs;
    for (VARIANT& v : received) VariantClear(&v);
    received.assign(p->cArgs, VARIANT{});
    for (UINT i = 0; i < p->cArgs; ++i) VariantCopy(&received[i], &p->rgvarg[i]);
    if (result) VariantCopy(result, &answer);
    return S_OK;
  }
};

TEST(DispatchAdapter, ArgumentsGoLastFirstAndResultsComeBackAsVariants) {
  RecordingDispatch raw;
  {
    auto object = std::make_shared<win32::ComDispatch>(&raw);
    EXPECT_EQ(raw.refs, 2);
    core::Variant result;
    ASSERT_EQ(object->Invoke(500, core::kMethod, {core::Variant::Text("地址"), core::Variant::Int(-5),
                                                  core::Variant::Empty(), core::Variant::Bool(true)},
                             &result),
              0);
    EXPECT_EQ(raw.flags, DISPATCH_METHOD);
    ASSERT_EQ(raw.received.size(), 4u);
    EXPECT_EQ(raw.received[0].vt, VT_BOOL);
    EXPECT_EQ(raw.received[0].boolVal, VARIANT_TRUE);
    EXPECT_EQ(raw.received[1].vt, VT_EMPTY);
    EXPECT_EQ(raw.received[2].vt, VT_I4);
    EXPECT_EQ(raw.received[2].lVal, -5);
    ASSERT_EQ(raw.received[3].vt, VT_BSTR);
    EXPECT_STREQ(raw.received[3].bstrVal, L"地址");

    // a property read by name; the text comes back as UTF-8
    raw.answer.vt = VT_BSTR;
    raw.answer.bstrVal = SysAllocString(L"导航已取消");
    core::ComObject as_object = object;
    EXPECT_EQ(core::VariantText(core::GetNamed(as_object, "title")), "导航已取消");
    EXPECT_EQ(raw.flags, DISPATCH_PROPERTYGET);
    EXPECT_TRUE(core::GetNamed(as_object, "nothing").IsEmpty());
    VariantClear(&raw.answer);

    // a dispatch result is a new object holding its own reference
    RecordingDispatch other;
    raw.answer.vt = VT_DISPATCH;
    raw.answer.pdispVal = &other;
    ASSERT_EQ(object->Invoke(203, core::kPropertyGet, {}, &result), 0);
    raw.answer.vt = VT_EMPTY;
    ASSERT_EQ(result.type, core::Variant::Type::kObject);
    EXPECT_EQ(other.refs, 2);
    result.object.reset();
    EXPECT_EQ(other.refs, 1);

    object->Invoke(1, core::kPropertyPut, {core::Variant::Int(3)}, nullptr);
    EXPECT_EQ(raw.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(raw.named, 1u);
  }
  EXPECT_EQ(raw.refs, 1);
  for (VARIANT& v : raw.received) VariantClear(&v);
}

TEST(DispatchAdapter, EventArgumentsAreDereferencedAndANullTextIsEmpty) {
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_I4;
  inner.lVal = 108;
  VARIANT byref;
  VariantInit(&byref);
  byref.vt = VT_BYREF | VT_VARIANT;
  byref.pvarVal = &inner;
  EXPECT_EQ(win32::FromVariant(byref).i, 108);

  BSTR text = SysAllocString(L"正在下载");
  VARIANT bstr_ref;
  VariantInit(&bstr_ref);
  bstr_ref.vt = VT_BYREF | VT_BSTR;
  bstr_ref.pbstrVal = &text;
  EXPECT_EQ(win32::FromVariant(bstr_ref).text, "正在下载");
  SysFreeString(text);

  VARIANT null_text;
  VariantInit(&null_text);
  null_text.vt = VT_BSTR;
  null_text.bstrVal = nullptr;
  EXPECT_TRUE(win32::FromVariant(null_text).IsEmpty());

  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT bool_ref;
  VariantInit(&bool_ref);
  bool_ref.vt = VT_BYREF | VT_BOOL;
  bool_ref.pboolVal = &cancel;
  const core::Variant b = win32::FromVariant(bool_ref);
  EXPECT_EQ(b.type, core::Variant::Type::kBool);
  EXPECT_FALSE(b.b);
}

struct RecordingSink : core::EventSink {
  std::vector<std::pair<std::int32_t, std::vector<core::Variant>>> calls;
  bool answer = false;
  bool OnEvent(std::int32_t dispid, const std::vector<core::Variant>& args) override {
    calls.emplace_back(dispid, args);
    return answer;
  }
};

TEST(DispatchAdapter, TheSinkDeliversArgumentsInDeclaredOrderAndLogicalResults) {
  const IID iid = {0x34a715a0, 0x6587, 0x11d0, {0x92, 0x4a, 0x00, 0x20, 0xaf, 0xc7, 0xac, 0x4d}};
  RecordingSink target;
  IDispatch* sink = win32::MakeEventSink(iid, {{108, false}, {1023, true}}, &target);
  void* as_source = nullptr;
  EXPECT_EQ(sink->QueryInterface(iid, &as_source), S_OK);
  sink->Release();

  VARIANT args[2];  // ProgressChange(50, 200), last first
  VariantInit(&args[0]);
  args[0].vt = VT_I4;
  args[0].lVal = 200;
  VariantInit(&args[1]);
  args[1].vt = VT_I4;
  args[1].lVal = 50;
  DISPPARAMS p{args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(sink->Invoke(108, IID_NULL, 0, DISPATCH_METHOD, &p, &result, nullptr, nullptr), S_OK);
  ASSERT_EQ(target.calls.size(), 1u);
  EXPECT_EQ(target.calls[0].second[0].i, 50);
  EXPECT_EQ(target.calls[0].second[1].i, 200);
  EXPECT_EQ(result.vt, VT_EMPTY);  // not a logical member: no result written

  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(sink->Invoke(1023, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);  // cancels the page's own menu
  target.answer = true;
  sink->Invoke(1023, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  sink->Release();
}

// An automation object with a default source interface known only from its
// type information, as the page's document has: members 1023 (VARIANT_BOOL)
// and -600 (void).
const IID kDocumentEvents = {0x3050f613, 0x98b5, 0x11cf, {0xbb, 0x82, 0x00, 0xaa, 0x00, 0xbd, 0xce, 0x0b}};

class FakeTypeInfo : public ITypeInfo {
 public:
  explicit FakeTypeInfo(bool coclass) : coclass_(coclass) {}
  FakeTypeInfo* source = nullptr;  // the coclass's default source
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
    (*attr)->guid = coclass_ ? IID_NULL : kDocumentEvents;
    (*attr)->typekind = coclass_ ? TKIND_COCLASS : TKIND_DISPATCH;
    (*attr)->cImplTypes = coclass_ ? 2 : 0;
    (*attr)->cFuncs = coclass_ ? 0 : 2;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** f) override {
    if (coclass_ || index > 1) return TYPE_E_ELEMENTNOTFOUND;
    *f = new FUNCDESC{};
    (*f)->memid = index == 0 ? 1023 : -600;
    (*f)->invkind = INVOKE_FUNC;
    (*f)->elemdescFunc.tdesc.vt = index == 0 ? VT_BOOL : VT_VOID;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID, BSTR*, UINT, UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    *ref = index;
    return coclass_ ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override {
    // the first is the default interface, the second the default source
    *flags = index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID, BSTR*, BSTR*, DWORD*, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ref, ITypeInfo** out) override {
    if (!coclass_ || ref != 1 || !source) return E_FAIL;
    *out = source;
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
  bool coclass_;
};

class FakeDocument : public IDispatch, public IProvideClassInfo2, public IConnectionPointContainer,
                     public IConnectionPoint {
 public:
  FakeDocument() { coclass_.source = &events_; }
  IDispatch* advised = nullptr;
  int unadvised = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) *out = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
      *out = static_cast<IProvideClassInfo2*>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer)) *out = static_cast<IConnectionPointContainer*>(this);
    else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // IDispatch: no type information of its own, so the class's is used
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { *n = 0; return S_OK; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    *out = &coclass_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* out) override {
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *out = kDocumentEvents;
    return S_OK;
  }
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!IsEqualIID(riid, kDocumentEvents)) return CONNECT_E_NOCONNECTION;
    *out = this;
    return S_OK;
  }
  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* out) override {
    *out = kDocumentEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (FAILED(sink->QueryInterface(kDocumentEvents, reinterpret_cast<void**>(&advised)))) return E_FAIL;
    *cookie = 42;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (cookie != 42 || !advised) return CONNECT_E_NOCONNECTION;
    ++unadvised;
    advised->Release();
    advised = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  // The page raises an event with no arguments; its VARIANT result.
  VARIANT Fire(DISPID id) {
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (advised) advised->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr);
    return result;
  }

 private:
  FakeTypeInfo coclass_{true};
  FakeTypeInfo events_{false};
};

int context_menus = 0;

TEST(DispatchAdapter, AttachConnectsTheDefaultSourceFromTheClassTypeInformation) {
  FakeDocument document;
  auto object = std::make_shared<win32::ComDispatch>(static_cast<IDispatch*>(&document));
  const std::vector<core::EventMember> members = object->EventMembers();
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0].dispid, 1023);
  EXPECT_TRUE(members[0].returns_bool);
  EXPECT_EQ(members[1].dispid, -600);
  EXPECT_FALSE(members[1].returns_bool);

  ocx::BMOleClass* host = ocx::Create();
  ASSERT_EQ(ocx::Attach(host, object), 1);
  ASSERT_NE(document.advised, nullptr);
  context_menus = 0;
  EXPECT_EQ(ocx::BindEvent(host, 1023, +[](std::int32_t) -> std::int32_t { return ++context_menus, 0; }, 0), 1);
  EXPECT_EQ(ocx::BindEvent(host, 259, +[](std::int32_t) {}, 0), 0);  // not a member of this interface

  VARIANT r = document.Fire(1023);
  EXPECT_EQ(context_menus, 1);
  EXPECT_EQ(r.vt, VT_BOOL);
  EXPECT_EQ(r.boolVal, VARIANT_FALSE);  // the page's own menu is cancelled
  document.Fire(-600);                  // unbound: answered, nothing runs
  EXPECT_EQ(context_menus, 1);

  object.reset();
  ocx::Destroy(host);  // disconnects
  EXPECT_EQ(document.unadvised, 1);
  EXPECT_EQ(document.advised, nullptr);
}

// ---- the ActiveX host with the system's web-browser control -----------------

TEST_F(BackendTest, BrowserControlInAtlHostWindowWithItsEventInterface) {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  ASSERT_NE(atl, nullptr);
  EXPECT_NE(GetProcAddress(atl, "AtlAxWinInit"), nullptr);
  EXPECT_NE(GetProcAddress(atl, "AtlAxGetControl"), nullptr);

  ASSERT_TRUE(core::LoadWindow(kTestWindow));
  const core::Handle parent = core::WindowHandle(kTestWindow);
  EXPECT_FALSE(common::CreateOcxControl(parent, "No.Such.Control", 0, 0, 10, 10, 0).object);

  common::CreatedControl c = common::CreateOcxControl(parent, "Shell.Explorer.2", 0, 1, 300, 200, 0);
  ASSERT_TRUE(c.window && c.object);
  wchar_t cls[64], title[64];
  GetClassNameW(reinterpret_cast<HWND>(c.window), cls, 64);
  GetWindowTextW(reinterpret_cast<HWND>(c.window), title, 64);
  EXPECT_EQ(lstrcmpiW(cls, L"AtlAxWin"), 0);
  EXPECT_STREQ(title, L"Shell.Explorer.2");
  // below the window's controls
  EXPECT_EQ(GetWindow(reinterpret_cast<HWND>(c.window), GW_HWNDNEXT), nullptr);

  std::vector<core::EventMember> members = c.object->EventMembers();
  for (std::int32_t id : {102, 108, 259}) {
    auto it = std::find_if(members.begin(), members.end(), [id](const core::EventMember& m) { return m.dispid == id; });
    ASSERT_NE(it, members.end()) << id;
    EXPECT_FALSE(it->returns_bool) << id;
  }
  EXPECT_EQ(c.object->IdOfName("Navigate2"), 500);
  EXPECT_EQ(c.object->IdOfName("NoSuchMember"), -1);
  DestroyWindow(reinterpret_cast<HWND>(c.window));
}

std::vector<std::string> status_texts;

TEST_F(BackendTest, StatusTextOfANavigationReachesTheBoundCallback) {
  LoopbackServer server("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20\r\n\r\n<html>page</html>\r\n");
  ASSERT_TRUE(core::LoadWindow(kTestWindow));
  ocx::BMOleClass* host = ocx::Create();
  ASSERT_NE(ocx::CreateControlWindow(host, core::WindowHandle(kTestWindow), "Shell.Explorer.2", 0, 1, 300, 200, 0), 0);
  status_texts.clear();
  EXPECT_EQ(ocx::BindEvent(host, 102, +[](std::int32_t user, const char* text) {
              status_texts.push_back(std::to_string(user) + ":" + (text ? text : "(null)"));
            }, 7), 1);
  EXPECT_EQ(ocx::BindEvent(host, 424242, +[](std::int32_t) {}, 0), 0);
  ocx::InvokeResult r =
      ocx::Invoke(host, 500, core::kMethod, "0T2V2V2V2V", {ocx::Arg::Text(server.Url("/index20.html"))});
  EXPECT_GE(r.status, 0);
  for (int i = 0; i < 100; ++i) {
    Pump(100);
    if (!server.Request().empty() && !status_texts.empty() && status_texts.back() == "7:") break;
  }
  EXPECT_NE(server.Request().find("GET /index20.html"), std::string::npos);
  ASSERT_FALSE(status_texts.empty());
  EXPECT_TRUE(std::any_of(status_texts.begin(), status_texts.end(), [](const std::string& s) { return s.size() > 2; }));
  // a null BSTR arrives as the empty text, never as a missing argument
  EXPECT_TRUE(std::all_of(status_texts.begin(), status_texts.end(), [](const std::string& s) { return s.rfind("7:", 0) == 0; }));
  ocx::Destroy(host);
}

// ---- the HTTP read ---------------------------------------------------------------

TEST(InternetRead, OneHttp10GetWithTheProgramsHeadersAndTheWholeBodyWhateverTheStatus) {
  LoopbackServer server("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n2.2\r\nrest");
  const std::string body = internet::ReadFile(server.Url("/updata/ver.php"));
  EXPECT_EQ(body, "2.2\r\nrest");
  const std::string request = server.Request();
  EXPECT_EQ(request.rfind("GET /updata/ver.php HTTP/1.0\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"), std::string::npos);
  EXPECT_NE(request.find("Accept: */*\r\n"), std::string::npos);
  EXPECT_NE(request.find("no-cache"), std::string::npos);
}

TEST(InternetRead, NothingWhenNoServerAnswers) {
  // a port that was free a moment ago: the connection is refused
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  EXPECT_EQ(internet::ReadFile("http://127.0.0.1:" + std::to_string(ntohs(a.sin_port)) + "/updata/ver.php"), "");
}

// ---- files and the command interpreter ---------------------------------------------

TEST(Processes, TheCommandInterpreterRunsABatchFileHiddenThatDeletesItself) {
  const std::string dir = core::CurrentDirectory();
  ASSERT_FALSE(dir.empty());
  core::RemoveFile("ran.txt");
  ASSERT_TRUE(core::WriteFileBytes(
      "t5update.bat", core::TextToAnsiBytes("@echo off\r\necho ran>ran.txt\r\nDel %0\r\nExit")));
  EXPECT_TRUE(core::RunProgram("t5update.bat", true, true));
  EXPECT_EQ(core::ReadFileHead("ran.txt", 0).substr(0, 3), "ran");
  EXPECT_EQ(core::FileSize("t5update.bat"), -1);
  EXPECT_FALSE(core::RunProgram("no-such-program-here.exe", true, true));
  core::RemoveFile("ran.txt");
}

TEST(Files, PathsAndSignature) {
  EXPECT_EQ(core::PathSeparator(), "\\");
  const std::string run = core::RunDirectory();
  EXPECT_NE(run.back(), '\\');
  EXPECT_NE(core::ExecutableName().find(".exe"), std::string::npos);
  EXPECT_EQ(core::ExecutableName().find('\\'), std::string::npos);
  const std::string self = run + "\\" + core::ExecutableName();
  EXPECT_EQ(core::ReadFileHead(self, 2), core::ExecutableSignature());
  EXPECT_GT(core::FileSize(self), 0);
  EXPECT_EQ(core::TextToAnsiBytes("Del vd.exe"), "Del vd.exe");
}

// The exit command from another thread: the GUI thread runs the exit routine
// once and ends the process with the code. Run in a child process.
int ExitChild() {
  core::Initialize();
  core::SetExitRoutine([] {
    static int runs = 0;
    ++runs;
    core::WriteFileBytes("exit-routine.txt", std::string(static_cast<std::size_t>(runs), 'x'));
  });
  core::Bind(kTestWindow, "", core::Event::kCreated, [] {
    std::thread([] {
      Sleep(200);
      core::Exit(7);
    }).detach();
  });
  core::LoadWindow(kTestWindow);
  core::RunMessageLoop();
  return 99;  // not reached
}

// The start window cannot be created: the system refuses the program's
// window class here, through a CBT hook.
LRESULT CALLBACK RefuseMainWindows(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) {
    const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lp);
    if (!IS_INTRESOURCE(create->lpcs->lpszClass) && lstrcmpW(create->lpcs->lpszClass, L"VondrelWindow") == 0)
      return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

int FailingStartChild() {
  core::Initialize();
  core::SetExitRoutine([] { core::WriteFileBytes("exit-routine.txt", "x"); });
  SetWindowsHookExW(WH_CBT, RefuseMainWindows, nullptr, GetCurrentThreadId());
  core::LoadWindow(kTestWindow);
  return 99;  // not reached
}

// Runs this binary with `flag`; presses OK on a box of that caption, if given.
DWORD RunChild(const wchar_t* flag, const wchar_t* box_caption) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(self) + L"\" " + flag;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 12345;
  if (box_caption) {
    HWND box = nullptr;
    for (int i = 0; i < 3000 && !box; ++i, Sleep(10)) box = FindWindowW(L"#32770", box_caption);
    if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  DWORD code = 12346;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

TEST(Exit, FromAnotherThreadRunsTheExitRoutineOnceAndEndsWithTheCode) {
  core::RemoveFile("exit-routine.txt");
  EXPECT_EQ(RunChild(L"--exit-child", nullptr), 7u);
  EXPECT_EQ(core::ReadFileHead("exit-routine.txt", 0), "x");
  core::RemoveFile("exit-routine.txt");
}

TEST(Exit, AStartWindowThatCannotBeCreatedEndsWithAnErrorBoxAndMinusOne) {
  core::RemoveFile("exit-routine.txt");
  EXPECT_EQ(static_cast<int>(RunChild(L"--failing-start-child", L"错误")), -1);
  EXPECT_EQ(core::FileSize("exit-routine.txt"), -1);  // no exit routine
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--exit-child") return ExitChild();
    if (std::string(argv[i]) == "--failing-start-child") return FailingStartChild();
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
