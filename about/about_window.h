// The about window and its program-folder tab.
#pragma once

#include <string>
#include <string_view>

namespace vondrel {

// The details box: an empty line, "程序文件夹:", then the folder.
std::string ProgramFolderText(std::string_view run_directory);

void OpenAboutWindow();
void ShowProgramFolder();
void OnAboutOkClicked();

}  // namespace vondrel
