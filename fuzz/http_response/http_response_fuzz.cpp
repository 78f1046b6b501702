// Feeds arbitrary bytes to the response-head parser, the Content-Range and
// address parsers, Location resolution and the chunked decoder, and checks
// what they promise about their results.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/common/net/http.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckUrl(const vnet::Url& u) {
  Check(!u.host.empty());
  Check(u.port >= 1 && u.port <= 65535);
  Check(!u.path.empty() && u.path.front() == '/');
  // What FullAddress writes parses back to the same address.
  vnet::Url again;
  Check(vnet::ParseUrl(vnet::FullAddress(u), again));
  Check(again.host == u.host && again.port == u.port && again.path == u.path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const std::size_t end = vnet::FindHeadEnd(in);
  Check(end <= in.size());
  vnet::ResponseHead head;
  if (vnet::ParseResponseHead(end ? in.substr(0, end) : in, head)) {
    Check(head.status >= 100 && head.status <= 999);
    Check(head.content_length >= -1);
    if (head.has_range) {
      Check(head.range_total >= -1);
      if (head.range_first >= 0) {
        Check(head.range_first <= head.range_last);
        Check(head.range_total < 0 || head.range_last < head.range_total);
      } else {
        Check(head.range_last == -1 && head.range_total >= 0);
      }
    }
    if (head.has_location) {
      vnet::Url base;
      Check(vnet::ParseUrl("http://127.0.0.1:8936/updata/vd.exe?x=1", base));
      vnet::Url target;
      if (vnet::ResolveLocation(base, head.location, target)) CheckUrl(target);
    }
  }

  std::int64_t first = 0, last = 0, total = 0;
  if (vnet::ParseContentRange(in, first, last, total)) {
    Check(total >= -1);
    Check(first < 0 || (first <= last && (total < 0 || last < total)));
  }

  vnet::Url url;
  if (vnet::ParseUrl(in, url)) CheckUrl(url);
  if (vnet::ParseProxy(in, url)) Check(!url.host.empty() && url.port >= 1 && url.port <= 65535);

  Check(vnet::DecodeChunked(in).size() <= in.size());
  return 0;
}
