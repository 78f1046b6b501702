#include "browser/browser.h"

#include <cmath>
#include <utility>

#include "app/main_window.h"
#include "app/program.h"
#include "platform/statusbar.h"
#include "resources/windows.h"
#include "update/version_check.h"
#include "vondrel_config.h"

namespace vondrel {

core::Handle BrowserWindow = 0;
int ContextMenuHooked = 0;

std::string StartPageAddress() { return std::string("http://") + VONDREL_SITE_HOST + "/index20.html"; }

std::int32_t LoadPercentage(std::int32_t progress, std::int32_t maximum) {
  if (progress >= maximum) return 100;
  const double q = progress * 100.0 / maximum;
  if (!std::isfinite(q)) return 0;  // -1 / 0: an infinite quotient
  const auto whole = static_cast<std::int64_t>(q);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

bool IsErrorPageTitle(std::string_view title) {
  return title == kNavigationCancelledTitle || title == kCannotDisplayTitle;
}

namespace {

void HideLoadingCover() {
  core::SetProperty(MainWindow, "图片框1", core::kVisible, 0);
  core::SetProperty(MainWindow, "标签1", core::kVisible, 0);
  core::SetProperty(MainWindow, "标签2", core::kVisible, 0);
}

}  // namespace

void OnMainWindowCreated() {
  CheckForUpdate(true);
  const Rect r = BrowserRect(core::ClientWidth(MainWindow), core::ClientHeight(MainWindow),
                             static_cast<int>(core::GetProperty(MainWindow, "状态条1", core::kHeight)));
  BrowserWindow = ocx::CreateControlWindow(BrowserHost, core::WindowHandle(MainWindow), kBrowserProgId, r.left,
                                           r.top, r.width, r.height, 0);
  if (BrowserWindow != 0) {
    ocx::BindEvent(BrowserHost, kDispidStatusTextChange, &OnStatusTextChange, 0);
    ocx::BindEvent(BrowserHost, kDispidProgressChange, &OnProgressChange, 0);
    ocx::BindEvent(BrowserHost, kDispidDocumentComplete, &OnDocumentComplete, 0);
  }
  NavigateBrowser(BrowserHost, StartPageAddress());
  ocx::InstallHook();
}

void NavigateBrowser(ocx::BMOleClass* browser, std::string_view address, std::optional<core::Variant> flags,
                     std::optional<core::Variant> target_frame, std::optional<core::Variant> post_data,
                     std::optional<core::Variant> headers) {
  ocx::Invoke(browser, kDispidNavigate2, core::kMethod, "0T2V2V2V2V",
              {ocx::Arg::Text(address), ocx::Arg{std::move(flags)}, ocx::Arg{std::move(target_frame)},
               ocx::Arg{std::move(post_data)}, ocx::Arg{std::move(headers)}});
}

void OnStatusTextChange(std::int32_t /*user*/, const char* text) {
  const std::string copy = text ? text : "";
  statusbar::SetText(MainWindow, "状态条1", 1, copy);
}

void OnProgressChange(std::int32_t /*user*/, std::int32_t progress, std::int32_t maximum) {
  const std::int32_t p = LoadPercentage(progress, maximum);
  statusbar::SetText(MainWindow, "状态条1", 1, "已经载入 " + std::to_string(p) + " %");
  core::SetProperty(MainWindow, "标签1", core::kCaption, "数据加载中..." + std::to_string(p) + " %");
  core::SetProperty(MainWindow, "标签2", core::kCaption, "");
  if (p == 100) HideLoadingCover();
}

void OnDocumentComplete(std::int32_t /*user*/, std::intptr_t /*frame*/, std::intptr_t /*address*/) {
  HideLoadingCover();
  statusbar::SetText(MainWindow, "状态条1", 1, "就绪");
  if (ContextMenuHooked == 0) {
    core::ComObject document = GetDocument(BrowserHost);
    ocx::Attach(DocumentEventsHost, document);
    CheckConnection();
    ContextMenuHooked = ocx::BindEvent(DocumentEventsHost, kDispidOnContextMenu, &OnPageContextMenu, 0);
    document.reset();
  }
}

std::int32_t OnPageContextMenu(std::int32_t /*user*/) {
  core::PopupMenu(MainWindow, kContextMenu);
  return 0;
}

core::ComObject GetDocument(ocx::BMOleClass* browser) {
  ocx::InvokeResult r = ocx::Invoke(browser, kDispidDocument, core::kPropertyGet, "");
  if (r.status < 0 || r.value.type != core::Variant::Type::kObject) return {};
  return r.value.object;
}

bool CheckConnection() {
  core::ComObject document = GetDocument(BrowserHost);
  const std::string title = core::VariantText(core::GetNamed(document, "title"));
  document.reset();
  if (IsErrorPageTitle(title)) {
    core::ShowMessageBox(kConnectionMessage, "信息：", core::kOk);
    return false;
  }
  return true;
}

void BindBrowserHandlers() { core::Bind(MainWindow, "", core::Event::kCreated, &OnMainWindowCreated); }

}  // namespace vondrel
