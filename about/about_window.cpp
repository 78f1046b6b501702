#include "about/about_window.h"

#include "app/program.h"
#include "platform/core.h"
#include "resources/windows.h"

namespace vondrel {

std::string ProgramFolderText(std::string_view run_directory) {
  return "\r\n程序文件夹:\r\n" + std::string(run_directory);
}

void OpenAboutWindow() { core::LoadWindow(AboutWindow, nullptr, true); }

void ShowProgramFolder() {
  core::SetProperty(AboutWindow, "编辑框1", core::kContent, ProgramFolderText(core::RunDirectory()));
}

void OnAboutOkClicked() { core::DestroyWindow(AboutWindow); }

}  // namespace vondrel
