#include "tests/net/test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

namespace nettest {

namespace {

// Reads a request head (up to the blank line) within 5 s.
bool ReadHead(int fd, std::string& head, const std::atomic<bool>& stopping) {
  char c;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (head.size() < 65536 && std::chrono::steady_clock::now() < deadline && !stopping) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    if (::recv(fd, &c, 1, 0) != 1) return false;
    head += c;
    if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) return true;
  }
  return false;
}

Request Parse(std::string head) {
  Request r;
  const auto sp1 = head.find(' ');
  const auto sp2 = head.find(' ', sp1 + 1);
  if (sp1 != std::string::npos && sp2 != std::string::npos) r.target = head.substr(sp1 + 1, sp2 - sp1 - 1);
  const auto range = head.find("\r\nRange: bytes=");
  if (range != std::string::npos) r.range_from = std::stoll(head.substr(range + 15));
  r.head = std::move(head);
  return r;
}

}  // namespace

bool Exchange::Send(std::string_view data) {
  while (!data.empty()) {
    if (server_.stopping()) return false;
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool Exchange::Sleep(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (server_.stopping()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 10)));
  }
  return true;
}

void Exchange::Reset() {
  linger l{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void ServeStatus(Exchange& x, int status, std::string_view headers, std::string_view body) {
  std::string s = "HTTP/1.1 " + std::to_string(status) + " Whatever\r\n";
  s += headers;
  s += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  s += body;
  x.Send(s);
}

void ServeBody(Exchange& x, std::string_view body, const Faults& f) {
  const std::int64_t size = static_cast<std::int64_t>(body.size());
  std::int64_t from = x.request().range_from;
  std::string head;
  std::string_view part = body;
  if (from >= 0 && !f.ignore_range && !f.no_length && !f.chunked) {
    const std::int64_t start = std::min(std::max<std::int64_t>(0, from + f.range_shift), size - 1);
    std::int64_t last = size - 1;
    if (f.range_length >= 0) last = std::min(last, start + f.range_length - 1);
    part = body.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(last - start + 1));
    head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(start) + "-" + std::to_string(last) +
           "/" + std::to_string(size + f.total_delta) + "\r\nContent-Length: " + std::to_string(part.size()) + "\r\n";
  } else if (f.chunked) {
    head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
  } else {
    head = "HTTP/1.1 200 OK\r\n";
    if (!f.no_length) head += "Content-Length: " + std::to_string(size) + "\r\n";
  }
  head += "Connection: close\r\n\r\n";
  if (!x.Send(head)) return;
  std::string chunked;
  if (f.chunked) {
    char size_line[32];
    std::snprintf(size_line, sizeof size_line, "%zx\r\n", part.size());
    chunked = size_line + std::string(part) + "\r\n0\r\n\r\n";
    part = chunked;
  }
  std::int64_t limit = static_cast<std::int64_t>(part.size());
  if (f.cut_after >= 0) limit = std::min(limit, f.cut_after);
  if (f.drop_after >= 0) limit = std::min(limit, f.drop_after);
  if (f.stall_after >= 0) limit = std::min(limit, f.stall_after);
  const std::size_t piece = f.trickle_bytes > 0 ? static_cast<std::size_t>(f.trickle_bytes) : 1 << 20;
  for (std::int64_t sent = 0; sent < limit;) {
    const std::size_t n = std::min<std::size_t>(piece, static_cast<std::size_t>(limit - sent));
    if (!x.Send(part.substr(static_cast<std::size_t>(sent), n))) return;
    sent += static_cast<std::int64_t>(n);
    if (f.trickle_ms > 0 && !x.Sleep(f.trickle_ms)) return;
  }
  if (f.drop_after >= 0 && f.drop_after < static_cast<std::int64_t>(part.size())) x.Reset();
  if (f.stall_after >= 0) x.Sleep(60000);
}

TestServer::TestServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listen_fd_, 64) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  port_ = ntohs(a.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestServer::~TestServer() {
  stopping_ = true;
  acceptor_.join();
  ::close(listen_fd_);
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> l(mutex_);
    threads.swap(threads_);
  }
  for (auto& t : threads) t.join();
}

std::string TestServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<Request> TestServer::requests() const {
  std::lock_guard<std::mutex> l(mutex_);
  return requests_;
}

void TestServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> l(mutex_);
    threads_.emplace_back([this, fd] { Serve(fd); });
  }
}

void TestServer::Serve(int fd) {
  std::string head;
  if (ReadHead(fd, head, stopping_)) {
    Request r = Parse(std::move(head));
    {
      std::lock_guard<std::mutex> l(mutex_);
      r.index = static_cast<int>(requests_.size());
      requests_.push_back(r);
    }
    Exchange x(*this, fd, std::move(r));
    handler_(x);
  }
  ::close(fd);
}

std::string PatternBody(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  std::mt19937 rng(seed);
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(rng());
  return s;
}

}  // namespace nettest
