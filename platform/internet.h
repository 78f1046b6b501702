// The internet library: the HTTP read of a whole resource.
#pragma once

#include <string>
#include <string_view>

namespace internet {

// One "GET" in HTTP/1.0 with "Accept: */*", the program's user agent and
// caching off. Returns the whole body whatever the status; on a failure the
// part that had arrived, or nothing. Limited to about 5 s to connect and
// about 10 s for the whole read.
std::string ReadFile(std::string_view address);

}  // namespace internet
