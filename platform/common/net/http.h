// HTTP wire code shared by the downloader and the read: addresses, request
// texts and the parsing of a response head. Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vnet {

struct Url {
  std::string host;  // without brackets for an IPv6 literal
  int port = 80;
  std::string path;  // "/" at least; the query is kept
  bool ipv6 = false;
};

// "http://host[:port][/path]", the scheme in any case. False for any other
// scheme, an empty host or a bad port.
bool ParseUrl(std::string_view text, Url& out);
// "host" or "host:port" (port other than 80), as the Host header wants it.
std::string HostPort(const Url& url);
// "http://" + HostPort + path.
std::string FullAddress(const Url& url);
// A proxy given as "host" or "host:port" (port 80 by default), an
// "http://" prefix tolerated. False when empty or malformed.
bool ParseProxy(std::string_view text, Url& out);
// A Location value resolved against the address that answered it: absolute
// http addresses, "//host/path", "/path" and relative paths. False for other
// schemes or an empty value.
bool ResolveLocation(const Url& base, std::string_view location, Url& out);

// The head of a response.
struct ResponseHead {
  int status = 0;
  std::int64_t content_length = -1;  // -1: none
  bool has_range = false;            // a Content-Range header
  std::int64_t range_first = -1;     // -1 with "*"
  std::int64_t range_last = -1;
  std::int64_t range_total = -1;  // -1 with "*"
  bool has_location = false;
  std::string location;
  bool chunked = false;  // any transfer coding other than identity
};

// Length of the head including its blank line (CRLF CRLF, or LF LF), 0 when
// `data` does not hold a whole head yet.
std::size_t FindHeadEnd(std::string_view data);
// Parses a whole head. False when it is malformed: a bad status line, a
// header line without a name, a Content-Length that is not a plain number or
// that is given twice with different values, an unreadable Content-Range.
bool ParseResponseHead(std::string_view head, ResponseHead& out);
// "bytes first-last/total", "bytes */total" or "bytes first-last/*".
bool ParseContentRange(std::string_view value, std::int64_t& first, std::int64_t& last, std::int64_t& total);

// Requests.
struct DownloadRequest {
  const Url* target = nullptr;
  bool via_proxy = false;
  std::string_view referer;
  std::int64_t range_from = 0;  // a Range header when > 0
};
std::string BuildDownloadRequest(const DownloadRequest& q);
std::string BuildReadRequest(const Url& target);

// Decodes a chunked body; stops at the first malformed or missing piece and
// returns what was decoded up to there.
std::string DecodeChunked(std::string_view body);

}  // namespace vnet
