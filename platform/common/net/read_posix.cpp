// The HTTP read of platform/internet.h over the socket shim (the Windows
// program reads through WinINet instead).
#include <chrono>
#include <string>

#include "platform/common/net/http.h"
#include "platform/common/net/socket.h"
#include "platform/internet.h"

namespace internet {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWholeRead = std::chrono::seconds(10);
constexpr int kConnectLimitMs = 5000;
constexpr int kMaxRedirects = 10;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// The raw answer to one request, as much as arrived before the deadline.
std::string Exchange(const vnet::Url& url, Clock::time_point deadline) {
  std::string answer;
  const int connect_ms = std::min(kConnectLimitMs, MsLeft(deadline));
  if (connect_ms <= 0) return answer;
  const vnet::Socket s = vnet::Connect(url.host, url.port, connect_ms, nullptr);
  if (s == vnet::kNoSocket) return answer;
  const std::string request = vnet::BuildReadRequest(url);
  if (vnet::SendAll(s, request.data(), request.size(), std::max(1, MsLeft(deadline)), nullptr)) {
    char buffer[16384];
    for (;;) {
      const int left = MsLeft(deadline);
      if (left <= 0) break;
      const long n = vnet::Receive(s, buffer, sizeof buffer, left, nullptr);
      if (n <= 0) break;
      answer.append(buffer, static_cast<std::size_t>(n));
    }
  }
  vnet::Close(s);
  return answer;
}

}  // namespace

std::string ReadFile(std::string_view address) {
  vnet::Url url;
  if (!vnet::ParseUrl(address, url)) return {};
  const auto deadline = Clock::now() + kWholeRead;
  for (int hop = 0;; ++hop) {
    const std::string answer = Exchange(url, deadline);
    const std::size_t head_size = vnet::FindHeadEnd(answer);
    vnet::ResponseHead head;
    if (head_size == 0 || !vnet::ParseResponseHead(std::string_view(answer).substr(0, head_size), head)) return {};
    // Redirects are followed, as the system's internet library does.
    const bool redirect = head.status == 301 || head.status == 302 || head.status == 303 || head.status == 307 ||
                          head.status == 308;
    vnet::Url next;
    if (redirect && hop < kMaxRedirects && head.has_location && vnet::ResolveLocation(url, head.location, next)) {
      url = std::move(next);
      continue;
    }
    std::string_view body = std::string_view(answer).substr(head_size);
    if (head.chunked) return vnet::DecodeChunked(body);
    if (head.content_length >= 0 && static_cast<std::uint64_t>(head.content_length) < body.size())
      body = body.substr(0, static_cast<std::size_t>(head.content_length));
    return std::string(body);
  }
}

}  // namespace internet
