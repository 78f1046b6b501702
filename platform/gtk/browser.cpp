// "Shell.Explorer.2" on Linux: a WebKitWebView behind the shared ActiveX
// host, answering the browser control's members and raising its events, and
// the page's document with its title, execCommand and oncontextmenu.
#include <webkit2/webkit2.h>

#include <cmath>
#include <cstdio>

#include "platform/common/backend.h"
#include "platform/gtk/gtk_backend.h"

namespace gtkb {

namespace {

constexpr std::int32_t kStatusTextChange = 102;
constexpr std::int32_t kProgressChange = 108;
constexpr std::int32_t kDocumentComplete = 259;
constexpr std::int32_t kNavigate2 = 500;
constexpr std::int32_t kDocument = 203;
constexpr std::int32_t kExecWB = 502;
constexpr std::int32_t kRefresh = -550;
constexpr std::int32_t kOnContextMenu = 1023;
constexpr std::int32_t kProgressMaximum = 10000;

constexpr std::int32_t kDocTitle = 1;
constexpr std::int32_t kDocExecCommand = 2;

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);
constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x80020003u);  // DISP_E_MEMBERNOTFOUND

constexpr const char* kCannotDisplayTitle = "Internet Explorer 无法显示该网页";
constexpr const char* kCancelledTitle = "导航已取消";

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ErrorPage(const char* title, const std::string& heading, const std::string& detail,
                      const std::string& uri) {
  return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + std::string(title) +
         "</title><style>body{font-family:sans-serif;font-size:13px;margin:32px 48px;color:#000;background:#fff}"
         "h1{font-size:18px;color:#1f3f8f;font-weight:normal;border-bottom:1px solid #c8d3e6;padding-bottom:8px}"
         "li{margin:4px 0}.uri{color:#555;word-break:break-all}</style></head><body><h1>" +
         heading + "</h1><p>" + detail + "</p><p class=\"uri\">" + Escape(uri) +
         "</p><ul><li>检查网络连接是否正常。</li><li>检查地址是否输入正确。</li>"
         "<li>稍后点击“刷新”重试。</li></ul></body></html>";
}

class Browser;

// The page's document: a new one for every page the view commits.
class Document : public core::Dispatch {
 public:
  explicit Document(Browser* browser) : browser_(browser) {}
  std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                      core::Variant* result) override;
  std::int32_t IdOfName(std::string_view name) override {
    if (name == "title") return kDocTitle;
    if (name == "execCommand") return kDocExecCommand;
    return -1;
  }
  std::vector<core::EventMember> EventMembers() override { return {{kOnContextMenu, true}}; }
  bool Connect(core::EventSink* sink) override {
    sink_ = sink;
    return true;
  }
  // The page's right-click: true when the view's own menu may show.
  bool RaiseContextMenu() { return sink_ ? sink_->OnEvent(kOnContextMenu, {}) : true; }
  void Forget() { browser_ = nullptr; }

 private:
  Browser* browser_;
  core::EventSink* sink_ = nullptr;
};

class Browser : public core::Dispatch {
 public:
  explicit Browser(GtkWidget* view) : view_(view) {
    g_object_ref_sink(view_);
    auto* v = WEBKIT_WEB_VIEW(view_);
    g_signal_connect(v, "load-changed", G_CALLBACK(LoadChanged), this);
    g_signal_connect(v, "load-failed", G_CALLBACK(LoadFailed), this);
    g_signal_connect(v, "notify::estimated-load-progress", G_CALLBACK(Progress), this);
    g_signal_connect(v, "mouse-target-changed", G_CALLBACK(MouseTarget), this);
    g_signal_connect(v, "context-menu", G_CALLBACK(ContextMenu), this);
    g_signal_connect(v, "destroy", G_CALLBACK(Gone), this);
  }
  ~Browser() override {
    if (document_) document_->Forget();
    if (view_) {
      g_signal_handlers_disconnect_by_data(view_, this);
      g_object_unref(view_);
    }
    if (page_setup_) g_object_unref(page_setup_);
    if (print_settings_) g_object_unref(print_settings_);
  }

  std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                      core::Variant* result) override {
    if (!live()) return kFail;
    switch (dispid) {
      case kNavigate2:
        if (args.empty() || args[0].type != core::Variant::Type::kText) return kFail;
        webkit_web_view_load_uri(view(), args[0].text.c_str());
        return kOk;
      case kDocument:
        if (!(flags & core::kPropertyGet) || !document_) return kFail;
        if (result) *result = core::Variant::Object(document_);
        return kOk;
      case kExecWB:
        return ExecWB(args.empty() ? 0 : static_cast<int>(args[0].i));
      case kRefresh:
        Refresh();
        return kOk;
      default:
        return kNotFound;
    }
  }
  std::int32_t IdOfName(std::string_view) override { return -1; }
  std::vector<core::EventMember> EventMembers() override {
    return {{kStatusTextChange, false}, {kProgressChange, false}, {kDocumentComplete, false}};
  }
  bool Connect(core::EventSink* sink) override {
    sink_ = sink;
    return true;
  }

  bool live() const { return view_ != nullptr && !dead_; }
  WebKitWebView* view() const { return WEBKIT_WEB_VIEW(view_); }

  std::string Title() const {
    const char* t = live() ? webkit_web_view_get_title(view()) : nullptr;
    return t ? t : "";
  }

  bool ExecCommand(std::string_view name) {
    if (!live()) return false;
    std::string command(name);
    // WebKit names commands as the editors do; the lookup ignores case
    webkit_web_view_execute_editing_command(view(), command.c_str());
    return true;
  }

 private:
  void Fire(std::int32_t dispid, std::vector<core::Variant> args) {
    if (sink_) sink_->OnEvent(dispid, args);
  }
  void Status(const std::string& text) { Fire(kStatusTextChange, {core::Variant::Text(text)}); }

  void Refresh() {
    if (!failed_uri_.empty()) {
      webkit_web_view_load_uri(view(), failed_uri_.c_str());
      return;
    }
    webkit_web_view_reload(view());
  }

  GtkWindow* Toplevel() const {
    GtkWidget* top = gtk_widget_get_toplevel(view_);
    return GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
  }

  std::int32_t ExecWB(int command) {
    switch (command) {
      case 4: SaveAs(); return kOk;
      case 6:
      case 7: Print(); return kOk;
      case 8: PageSetup(); return kOk;
      default: return static_cast<std::int32_t>(0x80040100u);  // OLECMDERR_E_NOTSUPPORTED
    }
  }

  void SaveAs() {
    GtkWidget* chooser = gtk_file_chooser_dialog_new("页面另存为", Toplevel(), GTK_FILE_CHOOSER_ACTION_SAVE, "取消",
                                                     GTK_RESPONSE_CANCEL, "保存", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    std::string name = Title().empty() ? "page" : Title();
    for (char& c : name)
      if (c == '/') c = '_';
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), (name + ".mht").c_str());
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
      GFile* file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser));
      webkit_web_view_save_to_file(view(), file, WEBKIT_SAVE_MODE_MHTML, nullptr, nullptr, nullptr);
      g_object_unref(file);
    }
    gtk_widget_destroy(chooser);
  }

  void Print() {
    WebKitPrintOperation* op = webkit_print_operation_new(view());
    if (page_setup_) webkit_print_operation_set_page_setup(op, page_setup_);
    if (print_settings_) webkit_print_operation_set_print_settings(op, print_settings_);
    if (webkit_print_operation_run_dialog(op, Toplevel()) == WEBKIT_PRINT_OPERATION_RESPONSE_PRINT) {
      if (print_settings_) g_object_unref(print_settings_);
      print_settings_ = webkit_print_operation_get_print_settings(op);
      if (print_settings_) g_object_ref(print_settings_);
    }
    g_object_unref(op);
  }

  void PageSetup() {
    GtkPageSetup* setup = gtk_print_run_page_setup_dialog(Toplevel(), page_setup_, print_settings_);
    if (page_setup_) g_object_unref(page_setup_);
    page_setup_ = setup;
  }

  // ---- the view's signals ----

  static void LoadChanged(WebKitWebView* v, WebKitLoadEvent event, gpointer data) {
    auto* b = static_cast<Browser*>(data);
    const char* uri = webkit_web_view_get_uri(v);
    const std::string address = uri ? uri : "";
    switch (event) {
      case WEBKIT_LOAD_STARTED:
        b->failed_ = false;
        b->loading_ = true;
        b->Status("正在打开网页 " + address + "...");
        break;
      case WEBKIT_LOAD_REDIRECTED:
        b->Status("正在打开网页 " + address + "...");
        break;
      case WEBKIT_LOAD_COMMITTED:
        if (b->document_) b->document_->Forget();
        b->document_ = std::make_shared<Document>(b);
        if (!b->showing_error_) b->failed_uri_.clear();
        b->Status("正在下载网页 " + address + "...");
        break;
      case WEBKIT_LOAD_FINISHED:
        b->loading_ = false;
        b->showing_error_ = false;
        if (b->failed_) break;  // the error page follows with its own load
        b->Status("完成");
#ifdef VONDREL_TRACE_DOCUMENT_COMPLETE
        std::printf("document-complete %lld\n", static_cast<long long>(g_get_monotonic_time() / 1000));
        std::fflush(stdout);
#endif
        b->Fire(kDocumentComplete, {core::Variant::Int(reinterpret_cast<std::intptr_t>(v)),
                                    core::Variant::Text(address)});
        break;
    }
  }

  static gboolean LoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failing_uri, GError* error, gpointer data) {
    auto* b = static_cast<Browser*>(data);
    const std::string uri = failing_uri ? failing_uri : "";
    if (g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED)) {
      // another load took its place, or the user stopped it
      b->failed_ = true;
      b->cancelled_uri_ = uri;
      g_idle_add(ShowCancelled, b);
      return TRUE;
    }
    if (g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE))
      return FALSE;
    b->failed_ = true;
    b->error_uri_ = uri;
    b->error_text_ = error ? error->message : "";
    g_idle_add(ShowFailed, b);
    return TRUE;
  }

  // After the failed load has finished: the error page is a load of its own.
  static gboolean ShowFailed(gpointer data) {
    auto* b = static_cast<Browser*>(data);
    if (!b->live()) return G_SOURCE_REMOVE;
    b->failed_uri_ = b->error_uri_;
    b->showing_error_ = true;
    const std::string page = ErrorPage(kCannotDisplayTitle, "无法显示该网页",
                                       "Internet Explorer 无法显示该网页：" + Escape(b->error_text_), b->error_uri_);
    webkit_web_view_load_alternate_html(b->view(), page.c_str(), b->error_uri_.c_str(), nullptr);
    return G_SOURCE_REMOVE;
  }

  static gboolean ShowCancelled(gpointer data) {
    auto* b = static_cast<Browser*>(data);
    if (!b->live() || webkit_web_view_is_loading(b->view())) return G_SOURCE_REMOVE;
    b->failed_uri_ = b->cancelled_uri_;
    b->showing_error_ = true;
    const std::string page =
        ErrorPage(kCancelledTitle, "已取消网页导航", "网页的导航已被取消。", b->cancelled_uri_);
    webkit_web_view_load_alternate_html(b->view(), page.c_str(), b->cancelled_uri_.c_str(), nullptr);
    return G_SOURCE_REMOVE;
  }

  static void Progress(WebKitWebView* v, GParamSpec*, gpointer data) {
    auto* b = static_cast<Browser*>(data);
    if (!b->loading_) return;
    const double p = webkit_web_view_get_estimated_load_progress(v);
    const auto progress = static_cast<std::int32_t>(std::lround(p * kProgressMaximum));
    b->Fire(kProgressChange, {core::Variant::Int(progress), core::Variant::Int(kProgressMaximum)});
  }

  static void MouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer data) {
    auto* b = static_cast<Browser*>(data);
    const char* link = webkit_hit_test_result_context_is_link(hit) ? webkit_hit_test_result_get_link_uri(hit) : nullptr;
    const std::string text = link ? link : "";
    if (text == b->link_) return;
    b->link_ = text;
    b->Status(text);
  }

  static gboolean ContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer data) {
    auto* b = static_cast<Browser*>(data);
    std::shared_ptr<Document> doc = b->document_;
    if (!doc) return FALSE;
    return doc->RaiseContextMenu() ? FALSE : TRUE;  // false cancels the view's own menu
  }

  static void Gone(GtkWidget*, gpointer data) { static_cast<Browser*>(data)->dead_ = true; }

  GtkWidget* view_;
  bool dead_ = false;
  core::EventSink* sink_ = nullptr;
  std::shared_ptr<Document> document_;
  bool loading_ = false, failed_ = false, showing_error_ = false;
  std::string failed_uri_, cancelled_uri_, error_uri_, error_text_, link_;
  GtkPageSetup* page_setup_ = nullptr;
  GtkPrintSettings* print_settings_ = nullptr;
};

std::int32_t Document::Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                              core::Variant* result) {
  if (!browser_ || !browser_->live()) return kFail;
  if (dispid == kDocTitle && (flags & core::kPropertyGet)) {
    if (result) *result = core::Variant::Text(browser_->Title());
    return kOk;
  }
  if (dispid == kDocExecCommand && (flags & core::kMethod)) {
    if (args.empty() || args[0].type != core::Variant::Type::kText) return kFail;
    const bool ok = browser_->ExecCommand(args[0].text);
    if (result) *result = core::Variant::Bool(ok);
    return kOk;
  }
  return kNotFound;
}

GtkWidget* NewView() {
  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  webkit_settings_set_javascript_can_access_clipboard(settings, TRUE);
  GtkWidget* view = webkit_web_view_new_with_settings(settings);
  g_object_unref(settings);
  return view;
}

}  // namespace

}  // namespace gtkb

namespace common {

CreatedControl CreateOcxControl(core::Handle parent, std::string_view prog_id, int x, int y, int width, int height,
                                int /*border*/) {
  auto* stage = reinterpret_cast<GtkWidget*>(parent);
  if (!stage || prog_id != "Shell.Explorer.2" || !gtkb::WindowOfStage(stage)) return {};
  GtkWidget* view = gtkb::NewView();
  CreatedControl c;
  c.object = std::make_shared<gtkb::Browser>(view);
  gtk_widget_set_name(view, "Shell.Explorer.2");
  // the host window is known by its ProgID, as on the system it comes from
  atk_object_set_description(gtk_widget_get_accessible(view), "Shell.Explorer.2");
  gtkb::AddNative(stage, view, {x, y, std::max(width, 0), std::max(height, 0)});
  c.window = reinterpret_cast<core::Handle>(view);
  return c;
}

// The view sees its keys first anyway; Esc is taken by each window before
// the focused widget (see window.cpp).
int InstallOcxHook() { return 1; }

}  // namespace common
