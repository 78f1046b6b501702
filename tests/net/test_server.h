// A fault-injecting HTTP server on 127.0.0.1 for the net tests: it records
// every request head and answers each through a handler of the test.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nettest {

struct Request {
  int index = 0;         // 0 for the first request the server received
  std::string head;      // request line and headers, up to and including the blank line
  std::string target;    // the request line's target
  std::int64_t range_from = -1;  // "Range: bytes=N-", -1 without
};

class TestServer;

// One accepted connection, as the handler sees it.
class Exchange {
 public:
  Exchange(TestServer& server, int fd, Request request) : server_(server), fd_(fd), request_(std::move(request)) {}
  const Request& request() const { return request_; }
  // False once the peer has gone or the server stops.
  bool Send(std::string_view data);
  // Sleeps, returning early (false) when the server stops.
  bool Sleep(int ms);
  // Ends the connection with a reset instead of an orderly close.
  void Reset();

 private:
  TestServer& server_;
  int fd_;
  Request request_;
};

// How ServeBody departs from a correct answer.
struct Faults {
  bool ignore_range = false;     // 200 with the whole body to a ranged request
  std::int64_t range_shift = 0;  // Content-Range starts this far from where asked
  std::int64_t total_delta = 0;  // Content-Range states a total this far off
  std::int64_t cut_after = -1;   // body bytes sent before the connection is closed
  std::int64_t drop_after = -1;  // body bytes sent before the connection is reset
  std::int64_t stall_after = -1; // body bytes sent before the server goes silent
  std::int64_t range_length = -1;  // a closed range of this many bytes instead of the rest
  bool no_length = false;        // 200 without Content-Length, ended by closing
  bool chunked = false;          // 200 in chunked coding
  int trickle_bytes = 0;         // body sent in pieces of this size ...
  int trickle_ms = 0;            // ... with this pause between them
};

// Answers the request with `body` (200, or 206 for "Range: bytes=N-"), bent by `faults`.
void ServeBody(Exchange& x, std::string_view body, const Faults& faults = {});
// A complete answer with a status line, extra header lines and a body.
void ServeStatus(Exchange& x, int status, std::string_view headers, std::string_view body);

class TestServer {
 public:
  using Handler = std::function<void(Exchange&)>;
  explicit TestServer(Handler handler);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path) const;
  std::vector<Request> requests() const;
  bool stopping() const { return stopping_; }

 private:
  void AcceptLoop();
  void Serve(int fd);

  Handler handler_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

// A body of `size` bytes that differs from its neighbours at every offset.
std::string PatternBody(std::size_t size, unsigned seed = 1);

}  // namespace nettest
