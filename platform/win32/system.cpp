// Files, processes, text in the ANSI code page, message boxes, the shell's
// execute and the HTTP read on WinINet.
#include "platform/win32/win32.h"  // first: windows.h before the other system headers
#include <shellapi.h>
#include <wininet.h>

#include <vector>

#include "platform/core.h"
#include "platform/internet.h"
#include "platform/shell.h"

namespace win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

}  // namespace win32

namespace core {

using win32::Utf8;
using win32::Wide;

int ShowMessageBox(std::string_view text, std::string_view caption, int flags) {
  const std::wstring t = Wide(text);
  const std::wstring c = Wide(caption.empty() ? std::string_view("信息：") : caption);
  // no owner; task-modal: the calling thread's windows wait for the answer
  const int id = MessageBoxW(nullptr, t.c_str(), c.c_str(), static_cast<UINT>(flags) | MB_TASKMODAL);
  // IDOK 1 ... IDNO 7 counted from 0
  return id >= IDOK && id <= IDNO ? id - 1 : kAnswerCancel;
}

std::string RunDirectory() {
  const std::wstring path = win32::ModulePath();
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::string() : Utf8(path.substr(0, cut));
}

std::string CurrentDirectory() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  if (n == 0) return {};
  std::wstring dir(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, dir.data());
  dir.resize(got);
  return Utf8(dir);
}

std::string ExecutableName() {
  const std::wstring path = win32::ModulePath();
  const std::size_t cut = path.find_last_of(L'\\');
  return Utf8(cut == std::wstring::npos ? path : path.substr(cut + 1));
}

std::string_view PathSeparator() { return "\\"; }

bool WriteFileBytes(std::string_view path, std::string_view bytes) {
  HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!::WriteFile(f, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    done += written;
  }
  CloseHandle(f);
  return ok;
}

bool RemoveFile(std::string_view path) { return DeleteFileW(Wide(path).c_str()) != 0; }

std::string ReadFileHead(std::string_view path, std::size_t max) {
  HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buffer[4096];
  while (max == 0 || out.size() < max) {
    const DWORD want = static_cast<DWORD>(max == 0 ? sizeof buffer : std::min(sizeof buffer, max - out.size()));
    DWORD got = 0;
    if (!::ReadFile(f, buffer, want, &got, nullptr) || got == 0) break;
    out.append(buffer, got);
  }
  CloseHandle(f);
  return out;
}

std::int64_t FileSize(std::string_view path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool RunProgram(std::string_view command, bool wait, bool hidden) {
  std::wstring line = Wide(command);
  // a batch file runs through the command interpreter
  std::wstring lower = line;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  const bool batch = lower.size() > 4 && (lower.ends_with(L".bat") || lower.ends_with(L".cmd") ||
                                          lower.ends_with(L".bat\"") || lower.ends_with(L".cmd\""));
  if (batch) {
    wchar_t comspec[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"ComSpec", comspec, MAX_PATH);
    line = std::wstring(n > 0 && n < MAX_PATH ? comspec : L"cmd.exe") + L" /c " + line;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (hidden) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION pi{};
  const DWORD creation = hidden && batch ? CREATE_NO_WINDOW : 0;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, creation, nullptr, nullptr, &si, &pi))
    return false;
  if (wait) WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

std::string_view ExecutableSignature() { return "MZ"; }

std::string TextToAnsiBytes(std::string_view text) {
  const std::wstring wide = Wide(text);
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace core

namespace shell {

int Execute(std::string_view target, std::string_view verb, std::string_view parameters, std::string_view directory,
            int show) {
  const std::wstring t = win32::Wide(target), v = win32::Wide(verb), p = win32::Wide(parameters),
                     d = win32::Wide(directory);
  const HINSTANCE r = ShellExecuteW(nullptr, verb.empty() ? nullptr : v.c_str(), t.c_str(),
                                    parameters.empty() ? nullptr : p.c_str(), d.c_str(), show);
  return static_cast<int>(reinterpret_cast<INT_PTR>(r));
}

}  // namespace shell

namespace internet {

namespace {
constexpr DWORD kConnectLimitMs = 5000;
constexpr DWORD kReadLimitMs = 10000;
}  // namespace

std::string ReadFile(std::string_view url) {
  std::string body;
  HINTERNET session = InternetOpenW(L"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)",
                                    INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return body;
  HTTP_VERSION_INFO version{1, 0};
  InternetSetOptionW(session, INTERNET_OPTION_HTTP_VERSION, &version, sizeof version);
  DWORD connect = kConnectLimitMs, receive = kReadLimitMs;
  InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
  InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &receive, sizeof receive);
  const ULONGLONG started = GetTickCount64();
  std::wstring address = win32::Wide(url);
  wchar_t host[256] = {}, path[2048] = {};
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 2048;
  if (!InternetCrackUrlW(address.c_str(), 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTP) {
    InternetCloseHandle(session);
    return body;
  }
  HINTERNET connection =
      InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  HINTERNET request = connection ? HttpOpenRequestW(connection, L"GET", path[0] ? path : L"/", L"HTTP/1.0", nullptr,
                                                    nullptr, flags, 0)
                                 : nullptr;
  static const wchar_t kAccept[] = L"Accept: */*\r\n";
  if (request && HttpSendRequestW(request, kAccept, static_cast<DWORD>(-1), nullptr, 0)) {
    char buffer[8192];
    for (;;) {
      DWORD got = 0;
      if (!InternetReadFile(request, buffer, sizeof buffer, &got) || got == 0) break;
      body.append(buffer, got);
      if (GetTickCount64() - started > kReadLimitMs) break;
    }
  }
  if (request) InternetCloseHandle(request);
  if (connection) InternetCloseHandle(connection);
  InternetCloseHandle(session);
  return body;
}

}  // namespace internet
