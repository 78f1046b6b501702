#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/common/net/socket.h"

namespace vnet {

namespace {

using Clock = std::chrono::steady_clock;

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

// Waits for `events` on `fd` for at most `timeout_ms` in stop slices. 1 ready, 0 time-out or stop, -1 error.
int WaitFor(int fd, short events, int timeout_ms, const std::atomic<bool>* stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (Stopped(stop)) return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left < kStopSliceMs ? left : kStopSliceMs));
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return -1;
  }
}

// Connected sockets block, each call for at most one stop slice: a receive
// that finds data costs one system call.
void MakeBlockingWithSlices(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  timeval slice{0, static_cast<suseconds_t>(kStopSliceMs) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &slice, sizeof slice);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
}

bool PastDeadline(Clock::time_point& deadline, int timeout_ms) {
  const auto now = Clock::now();
  if (deadline == Clock::time_point{}) deadline = now + std::chrono::milliseconds(timeout_ms);
  return now >= deadline;
}

struct IgnoreSigpipe {
  IgnoreSigpipe() { ::signal(SIGPIPE, SIG_IGN); }
};

}  // namespace

Socket Connect(const std::string& host, int port, int timeout_ms, const std::atomic<bool>* stop) {
  static IgnoreSigpipe ignore_sigpipe;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return kNoSocket;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  int result = -1;
  for (addrinfo* a = list; a && result < 0 && !Stopped(stop); a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
      result = fd;
      break;
    }
    if (errno == EINPROGRESS) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left > 0 && WaitFor(fd, POLLOUT, static_cast<int>(left), stop) == 1) {
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
          result = fd;
          break;
        }
      }
    }
    ::close(fd);
  }
  ::freeaddrinfo(list);
  if (result < 0) return kNoSocket;
  MakeBlockingWithSlices(result);
  return result;
}

bool SendAll(Socket s, const char* data, std::size_t size, int timeout_ms, const std::atomic<bool>* stop) {
  const int fd = static_cast<int>(s);
  Clock::time_point deadline{};
  while (size > 0) {
    if (Stopped(stop)) return false;
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      deadline = {};
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && !PastDeadline(deadline, timeout_ms)) continue;
    return false;
  }
  return true;
}

long Receive(Socket s, char* buffer, std::size_t size, int timeout_ms, const std::atomic<bool>* stop) {
  const int fd = static_cast<int>(s);
  Clock::time_point deadline{};
  for (;;) {
    if (Stopped(stop)) return -1;
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && !PastDeadline(deadline, timeout_ms)) continue;
    return -1;
  }
}

long ReceiveNow(Socket s, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(s), buffer, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

void Close(Socket s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

File OpenForWrite(const std::string& path, bool exclusive) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  const int fd = ::open(path.c_str(), flags, 0644);
  return fd < 0 ? kNoFile : fd;
}

bool WriteAt(File f, const char* data, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(static_cast<int>(f), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

bool Truncate(File f, std::int64_t size) { return ::ftruncate(static_cast<int>(f), static_cast<off_t>(size)) == 0; }

void CloseFile(File f) {
  if (f != kNoFile) ::close(static_cast<int>(f));
}

std::int64_t ExistingFileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace vnet
