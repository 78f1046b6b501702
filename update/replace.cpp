#include "update/replace.h"

#include "platform/core.h"

namespace vondrel {

namespace {

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::string ReplaceScript(std::string_view executable_name) {
  const std::string n(executable_name);
  if (IsPlainName(n)) {
    return "@echo off\r\nTaskkill /f /im " + n + "\r\nDel " + n + "\r\nren ZADADA5.exe.tmp " + n + "\r\nstart " + n +
           "\r\nDel %0\r\nExit";
  }
  // quoted as one name; '%' doubled so the interpreter does not expand it
  std::string q = "\"";
  for (char c : n) q += c == '%' ? std::string("%%") : std::string(1, c);
  q += "\"";
  return "@echo off\r\nTaskkill /f /im " + q + "\r\nDel " + q + "\r\nren ZADADA5.exe.tmp " + q + "\r\nstart \"\" " +
         q + "\r\nDel %0\r\nExit";
}

void ReplaceAndRestart() {
  const std::string name = core::ExecutableName();
  core::WriteFileBytes(kScriptFile, core::TextToAnsiBytes(ReplaceScript(name)));
  core::RunProgram(kScriptFile, true, true);
  core::Exit(0);
}

}  // namespace vondrel
