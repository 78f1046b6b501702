// The program's three windows, as data.
#pragma once

#include "platform/common/windef.h"

namespace vondrel {

extern const core::WindowDef MainWindow;
extern const core::WindowDef AboutWindow;
extern const core::WindowDef UpdateWindow;

// Menu item ids of MainWindow.
namespace item {
inline constexpr const char* kCtxRefresh = "ctx.refresh";
inline constexpr const char* kCtxUndo = "ctx.undo";
inline constexpr const char* kCtxCut = "ctx.cut";
inline constexpr const char* kCtxCopy = "ctx.copy";
inline constexpr const char* kCtxPaste = "ctx.paste";
inline constexpr const char* kCtxDelete = "ctx.delete";
inline constexpr const char* kCtxSelectAll = "ctx.selectall";
inline constexpr const char* kCtxAbout = "ctx.about";
inline constexpr const char* kFileRefresh = "file.refresh";
inline constexpr const char* kFileSaveAs = "file.saveas";
inline constexpr const char* kFileWebVersion = "file.web";
inline constexpr const char* kFilePrint = "file.print";
inline constexpr const char* kFilePreview = "file.preview";
inline constexpr const char* kFilePageSetup = "file.pagesetup";
inline constexpr const char* kFileExit = "file.exit";
inline constexpr const char* kHelpUpdate = "help.update";
inline constexpr const char* kHelpMail = "help.mail";
inline constexpr const char* kHelpGuestbook = "help.guestbook";
inline constexpr const char* kHelpHome = "help.home";
inline constexpr const char* kHelpAbout = "help.about";
}  // namespace item

// The hidden popup menu of MainWindow.
inline constexpr const char* kContextMenu = "ContextMenu";

}  // namespace vondrel
