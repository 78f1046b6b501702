// Replace and restart: a script swaps the downloaded build in and starts it.
#pragma once

#include <string>
#include <string_view>

namespace vondrel {

inline constexpr const char* kPackageFile = "ZADADA5.exe.tmp";
inline constexpr const char* kScriptFile = "5update.bat";

// The script text for the executable name N. A plain name (letters, digits,
// '.', '-', '_') goes in as it is; any other is quoted.
std::string ReplaceScript(std::string_view executable_name);
void ReplaceAndRestart();

}  // namespace vondrel
