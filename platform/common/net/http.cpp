#include "platform/common/net/http.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace vnet {

namespace {

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool IStartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && IEquals(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A decimal number of at most 18 digits, nothing else.
bool ParseNumber(std::string_view s, std::int64_t& out) {
  if (s.empty() || s.size() > 18) return false;
  std::int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

bool ValidHostChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' || c == '%';
}

// "host[:port]" or "[v6][:port]".
bool ParseAuthority(std::string_view a, Url& out) {
  if (const auto at = a.rfind('@'); at != std::string_view::npos) a.remove_prefix(at + 1);
  std::string_view host, port;
  if (!a.empty() && a.front() == '[') {
    const auto close = a.find(']');
    if (close == std::string_view::npos) return false;
    host = a.substr(1, close - 1);
    std::string_view rest = a.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
    }
    for (char c : host) {
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
    }
    out.ipv6 = true;
  } else {
    const auto colon = a.find(':');
    host = a.substr(0, colon);
    if (colon != std::string_view::npos) port = a.substr(colon + 1);
    for (char c : host) {
      if (!ValidHostChar(c)) return false;
    }
    out.ipv6 = false;
  }
  if (host.empty()) return false;
  out.host = std::string(host);
  out.port = 80;
  if (!port.empty()) {
    std::int64_t p = 0;
    if (!ParseNumber(port, p) || p < 1 || p > 65535) return false;
    out.port = static_cast<int>(p);
  }
  return true;
}

// "/a/b/../c/./d" -> "/a/c/d"; the query is left alone.
std::string RemoveDotSegments(const std::string& target) {
  const auto q = target.find('?');
  const std::string path = target.substr(0, q);
  std::vector<std::string> parts;
  std::size_t i = 1;
  bool trailing = false;
  while (i <= path.size()) {
    const auto next = std::min(path.find('/', i), path.size());
    const std::string seg = path.substr(i, next - i);
    trailing = next == path.size() && (seg == "." || seg == "..");
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (seg != ".") {
      parts.push_back(seg);
    }
    i = next + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  if (out.empty() || trailing) out += "/";
  return q == std::string::npos ? out : out + target.substr(q);
}

}  // namespace

bool ParseUrl(std::string_view text, Url& out) {
  if (!IStartsWith(text, "http://")) return false;
  text.remove_prefix(7);
  const auto slash = text.find_first_of("/?#");
  Url u;
  if (!ParseAuthority(text.substr(0, slash), u)) return false;
  std::string_view path = slash == std::string_view::npos ? std::string_view() : text.substr(slash);
  if (const auto hash = path.find('#'); hash != std::string_view::npos) path = path.substr(0, hash);
  for (char c : path) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  }
  u.path = path.empty() ? "/" : (path.front() == '?' ? "/" + std::string(path) : std::string(path));
  out = std::move(u);
  return true;
}

std::string HostPort(const Url& url) {
  std::string h = url.ipv6 ? "[" + url.host + "]" : url.host;
  if (url.port != 80) h += ":" + std::to_string(url.port);
  return h;
}

std::string FullAddress(const Url& url) { return "http://" + HostPort(url) + url.path; }

bool ParseProxy(std::string_view text, Url& out) {
  text = Trim(text);
  if (IStartsWith(text, "http://")) text.remove_prefix(7);
  while (!text.empty() && text.back() == '/') text.remove_suffix(1);
  if (text.empty()) return false;
  Url u;
  if (!ParseAuthority(text, u)) return false;
  u.path = "/";
  out = std::move(u);
  return true;
}

bool ResolveLocation(const Url& base, std::string_view location, Url& out) {
  location = Trim(location);
  if (location.empty()) return false;
  if (IStartsWith(location, "http://")) return ParseUrl(location, out);
  if (location.size() >= 2 && location[0] == '/' && location[1] == '/') {
    return ParseUrl("http:" + std::string(location), out);
  }
  // Any other scheme ("https:", "ftp:") is refused.
  const auto colon = location.find(':');
  const auto first_sep = location.find_first_of("/?#");
  if (colon != std::string_view::npos && (first_sep == std::string_view::npos || colon < first_sep)) return false;
  std::string path;
  if (location.front() == '/') {
    path = std::string(location);
  } else if (location.front() == '?') {
    path = base.path.substr(0, base.path.find('?')) + std::string(location);
  } else {
    std::string dir = base.path.substr(0, base.path.find('?'));
    dir.resize(dir.rfind('/') + 1);
    path = dir + std::string(location);
  }
  return ParseUrl("http://" + HostPort(base) + RemoveDotSegments(path), out);
}

std::size_t FindHeadEnd(std::string_view data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] != '\n') continue;
    if (i + 1 < data.size() && data[i + 1] == '\n') return i + 2;
    if (i + 2 < data.size() && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
  }
  return 0;
}

bool ParseContentRange(std::string_view value, std::int64_t& first, std::int64_t& last, std::int64_t& total) {
  value = Trim(value);
  if (!IStartsWith(value, "bytes")) return false;
  value.remove_prefix(5);
  if (value.empty() || (value.front() != ' ' && value.front() != '=')) return false;
  value = Trim(value.substr(1));
  const auto slash = value.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string_view span = Trim(value.substr(0, slash));
  const std::string_view size = Trim(value.substr(slash + 1));
  total = -1;
  if (size != "*" && !ParseNumber(size, total)) return false;
  if (span == "*") {
    if (total < 0) return false;
    first = last = -1;
    return true;
  }
  const auto dash = span.find('-');
  if (dash == std::string_view::npos) return false;
  if (!ParseNumber(Trim(span.substr(0, dash)), first) || !ParseNumber(Trim(span.substr(dash + 1)), last)) return false;
  if (first > last) return false;
  if (total >= 0 && last >= total) return false;
  return true;
}

bool ParseResponseHead(std::string_view head, ResponseHead& out) {
  ResponseHead r;
  const auto eol = head.find('\n');
  if (eol == std::string_view::npos) return false;
  std::string_view line = head.substr(0, eol);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // HTTP/d.d SP ddd [SP reason]
  if (line.size() < 12 || !IStartsWith(line, "HTTP/") || !std::isdigit(static_cast<unsigned char>(line[5])) ||
      line[6] != '.' || !std::isdigit(static_cast<unsigned char>(line[7])) || line[8] != ' ')
    return false;
  for (int i = 9; i < 12; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
  }
  if (line.size() > 12 && line[12] != ' ') return false;
  r.status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
  if (r.status < 100) return false;

  std::string_view rest = head.substr(eol + 1);
  while (!rest.empty()) {
    const auto e = rest.find('\n');
    line = rest.substr(0, e);
    rest = e == std::string_view::npos ? std::string_view() : rest.substr(e + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the blank line ends the head
    if (line.front() == ' ' || line.front() == '\t') return false;  // folded lines are not taken
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view name = line.substr(0, colon);
    for (char c : name) {
      if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
    }
    const std::string_view value = Trim(line.substr(colon + 1));
    if (IEquals(name, "Content-Length")) {
      std::int64_t n = 0;
      if (!ParseNumber(value, n)) return false;
      if (r.content_length >= 0 && r.content_length != n) return false;
      r.content_length = n;
    } else if (IEquals(name, "Content-Range")) {
      if (r.has_range) return false;
      if (!ParseContentRange(value, r.range_first, r.range_last, r.range_total)) return false;
      r.has_range = true;
    } else if (IEquals(name, "Location")) {
      if (!r.has_location) r.location = std::string(value);
      r.has_location = true;
    } else if (IEquals(name, "Transfer-Encoding")) {
      if (!IEquals(value, "identity")) r.chunked = true;
    }
  }
  out = std::move(r);
  return true;
}

namespace {

constexpr std::string_view kDownloadAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
constexpr std::string_view kReadAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

}  // namespace

std::string BuildDownloadRequest(const DownloadRequest& q) {
  const Url& t = *q.target;
  std::string s;
  s.reserve(320);
  s += "GET ";
  s += q.via_proxy ? FullAddress(t) : t.path;
  s += " HTTP/1.1\r\nHost: ";
  s += HostPort(t);
  s += "\r\nAccept: */*\r\nReferer: ";
  s += q.referer;
  s += "\r\nUser-Agent: ";
  s += kDownloadAgent;
  s += "\r\n";
  if (q.range_from > 0) s += "Range: bytes=" + std::to_string(q.range_from) + "-\r\n";
  s += "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
  return s;
}

std::string BuildReadRequest(const Url& t) {
  std::string s = "GET " + t.path + " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: ";
  s += kReadAgent;
  s += "\r\nHost: " + HostPort(t) + "\r\nPragma: no-cache\r\n\r\n";
  return s;
}

std::string DecodeChunked(std::string_view body) {
  std::string out;
  for (;;) {
    const auto eol = body.find('\n');
    if (eol == std::string_view::npos) return out;
    std::string_view size_line = body.substr(0, eol);
    if (const auto semi = size_line.find(';'); semi != std::string_view::npos) size_line = size_line.substr(0, semi);
    size_line = Trim(size_line);
    if (size_line.empty() || size_line.size() > 15) return out;
    std::uint64_t n = 0;
    for (char c : size_line) {
      const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : (c >= 'a' && c <= 'f')                   ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F')                   ? c - 'A' + 10
                                                               : -1;
      if (d < 0) return out;
      n = n * 16 + static_cast<std::uint64_t>(d);
    }
    body.remove_prefix(eol + 1);
    if (n == 0) return out;
    const std::size_t take = n < body.size() ? static_cast<std::size_t>(n) : body.size();
    out.append(body.substr(0, take));
    if (take < n) return out;
    body.remove_prefix(take);
    if (body.substr(0, 2) == "\r\n") {
      body.remove_prefix(2);
    } else if (body.substr(0, 1) == "\n") {
      body.remove_prefix(1);
    } else {
      return out;
    }
  }
}

}  // namespace vnet
