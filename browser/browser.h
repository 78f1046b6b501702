// The browser in the main window: start-up, page-load feedback, the document
// getter and the connectivity check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core.h"
#include "platform/ocx.h"

namespace vondrel {

// The browser's host window; 0 until it is created, 0 for good on failure.
extern core::Handle BrowserWindow;
// 1 once the page's right-click event is bound; never reset.
extern int ContextMenuHooked;

inline constexpr const char* kBrowserProgId = "Shell.Explorer.2";
inline constexpr std::int32_t kDispidStatusTextChange = 102;
inline constexpr std::int32_t kDispidProgressChange = 108;
inline constexpr std::int32_t kDispidDocumentComplete = 259;
inline constexpr std::int32_t kDispidNavigate2 = 500;
inline constexpr std::int32_t kDispidDocument = 203;
inline constexpr std::int32_t kDispidExecWB = 502;
inline constexpr std::int32_t kDispidRefresh = -550;
inline constexpr std::int32_t kDispidOnContextMenu = 1023;

inline constexpr const char* kNavigationCancelledTitle = "导航已取消";
inline constexpr const char* kCannotDisplayTitle = "Internet Explorer 无法显示该网页";
inline constexpr const char* kConnectionMessage =
    "无法联接上网络，此工具只能联网才能正常使用，请检查电脑是否已联网。";

// "http://" + the tracking site + "/index20.html".
std::string StartPageAddress();

// The load percentage: 100 when progress >= maximum, else the truncated
// quotient taken as a 64-bit integer and cut to its low 32 bits.
std::int32_t LoadPercentage(std::int32_t progress, std::int32_t maximum);
bool IsErrorPageTitle(std::string_view title);

void OnMainWindowCreated();
void NavigateBrowser(ocx::BMOleClass* browser, std::string_view address,
                     std::optional<core::Variant> flags = std::nullopt,
                     std::optional<core::Variant> target_frame = std::nullopt,
                     std::optional<core::Variant> post_data = std::nullopt,
                     std::optional<core::Variant> headers = std::nullopt);
void OnStatusTextChange(std::int32_t user, const char* text);
void OnProgressChange(std::int32_t user, std::int32_t progress, std::int32_t maximum);
void OnDocumentComplete(std::int32_t user, std::intptr_t frame, std::intptr_t address);
std::int32_t OnPageContextMenu(std::int32_t user);
core::ComObject GetDocument(ocx::BMOleClass* browser);
bool CheckConnection();

}  // namespace vondrel
