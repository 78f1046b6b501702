#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <mutex>

#include "platform/common/net/socket.h"

namespace vnet {

namespace {

using Clock = std::chrono::steady_clock;

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

// Waits until `fd` is readable (or writable) for at most `timeout_ms` in stop
// slices. 1 ready, 0 time-out or stop, -1 error.
int WaitFor(SOCKET fd, bool write, int timeout_ms, const std::atomic<bool>* stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (Stopped(stop)) return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    const long slice = static_cast<long>(left < kStopSliceMs ? left : kStopSliceMs);
    fd_set set, errors;
    FD_ZERO(&set);
    FD_ZERO(&errors);
    FD_SET(fd, &set);
    FD_SET(fd, &errors);
    timeval tv{slice / 1000, (slice % 1000) * 1000};
    const int r = ::select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &tv);
    if (r > 0) return FD_ISSET(fd, &errors) ? -1 : 1;
    if (r < 0) return -1;
  }
}

}  // namespace

Socket Connect(const std::string& host, int port, int timeout_ms, const std::atomic<bool>* stop) {
  StartWinsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return kNoSocket;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  SOCKET result = INVALID_SOCKET;
  for (addrinfo* a = list; a && result == INVALID_SOCKET && !Stopped(stop); a = a->ai_next) {
    SOCKET fd = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd == INVALID_SOCKET) continue;
    u_long nonblocking = 1;
    ::ioctlsocket(fd, FIONBIO, &nonblocking);
    if (::connect(fd, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
      result = fd;
      break;
    }
    if (::WSAGetLastError() == WSAEWOULDBLOCK) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left > 0 && WaitFor(fd, true, static_cast<int>(left), stop) == 1) {
        int err = 0;
        int len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 && err == 0) {
          result = fd;
          break;
        }
      }
    }
    ::closesocket(fd);
  }
  ::freeaddrinfo(list);
  return result == INVALID_SOCKET ? kNoSocket : static_cast<Socket>(result);
}

bool SendAll(Socket s, const char* data, std::size_t size, int timeout_ms, const std::atomic<bool>* stop) {
  const SOCKET fd = static_cast<SOCKET>(s);
  while (size > 0) {
    const int chunk = size > 65536 ? 65536 : static_cast<int>(size);
    const int n = ::send(fd, data, chunk, 0);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
      if (WaitFor(fd, true, timeout_ms, stop) != 1) return false;
      continue;
    }
    return false;
  }
  return true;
}

long Receive(Socket s, char* buffer, std::size_t size, int timeout_ms, const std::atomic<bool>* stop) {
  const SOCKET fd = static_cast<SOCKET>(s);
  const int want = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
  for (;;) {
    if (Stopped(stop)) return -1;
    const int n = ::recv(fd, buffer, want, 0);
    if (n >= 0) return n;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    if (WaitFor(fd, false, timeout_ms, stop) != 1) return -1;
  }
}

long ReceiveNow(Socket s, char* buffer, std::size_t size) {
  // The socket is non-blocking: recv returns at once either way.
  const int want = size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
  const int n = ::recv(static_cast<SOCKET>(s), buffer, want, 0);
  return n >= 0 ? n : -1;
}

void Close(Socket s) {
  if (s != kNoSocket) ::closesocket(static_cast<SOCKET>(s));
}

File OpenForWrite(const std::string& path, bool exclusive) {
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           exclusive ? CREATE_NEW : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<File>(h);
}

bool WriteAt(File f, const char* data, std::size_t size, std::int64_t offset) {
  HANDLE h = reinterpret_cast<HANDLE>(f);
  while (size > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xffffffffu);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(h, data, chunk, &written, &at) || written == 0) return false;
    data += written;
    size -= written;
    offset += written;
  }
  return true;
}

bool Truncate(File f, std::int64_t size) {
  HANDLE h = reinterpret_cast<HANDLE>(f);
  LARGE_INTEGER at;
  at.QuadPart = size;
  return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
}

void CloseFile(File f) {
  if (f != kNoFile) ::CloseHandle(reinterpret_cast<HANDLE>(f));
}

std::int64_t ExistingFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace vnet
