#include "browser/page_commands.h"

#include <utility>

#include "app/program.h"
#include "browser/browser.h"
#include "resources/windows.h"

namespace vondrel {

void ExecDocumentCommand(std::string_view name) {
  core::ComObject document = GetDocument(BrowserHost);
  core::CallNamed(document, "execCommand",
                  {core::Variant::Text(name), core::Variant::Bool(false), core::Variant::Int(0)});
  document.reset();
}

void ExecBrowserCommand(ocx::BMOleClass* browser, std::int32_t command, std::int32_t option,
                        std::optional<core::Variant> input, std::optional<core::Variant> output) {
  ocx::Invoke(browser, kDispidExecWB, core::kMethod, "0I0I2V2V",
              {ocx::Arg::Int(command), ocx::Arg::Int(option), ocx::Arg{std::move(input)},
               ocx::Arg{std::move(output)}});
}

void RefreshPage(ocx::BMOleClass* browser) {
  CheckConnection();
  ocx::Invoke(browser, kDispidRefresh, core::kMethod, "");
}

void BindPageCommandHandlers() {
  const auto& w = MainWindow;
  core::BindMenu(w, item::kCtxRefresh, [] { RefreshPage(BrowserHost); });
  core::BindMenu(w, item::kCtxUndo, [] { ExecDocumentCommand("Undo"); });
  core::BindMenu(w, item::kCtxCut, [] { ExecDocumentCommand("Cut"); });
  core::BindMenu(w, item::kCtxCopy, [] { ExecDocumentCommand("copy"); });
  core::BindMenu(w, item::kCtxPaste, [] { ExecDocumentCommand("Paste"); });
  core::BindMenu(w, item::kCtxDelete, [] { ExecDocumentCommand("Delete"); });
  core::BindMenu(w, item::kCtxSelectAll, [] { ExecDocumentCommand("selectAll"); });
  core::BindMenu(w, item::kFileRefresh, [] { RefreshPage(BrowserHost); });
  core::BindMenu(w, item::kFileSaveAs, [] { ExecBrowserCommand(BrowserHost, kCommandSaveAs, kOptionDoDefault); });
  core::BindMenu(w, item::kFilePrint, [] { ExecBrowserCommand(BrowserHost, kCommandPrint, kOptionDoDefault); });
  core::BindMenu(w, item::kFilePreview,
                 [] { ExecBrowserCommand(BrowserHost, kCommandPrintPreview, kOptionDoDefault); });
  core::BindMenu(w, item::kFilePageSetup,
                 [] { ExecBrowserCommand(BrowserHost, kCommandPageSetup, kOptionDoDefault); });
}

}  // namespace vondrel
