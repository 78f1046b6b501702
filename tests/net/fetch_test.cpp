// vondrel-fetch: its exit status and its one-line reason.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "tests/net/nginx.h"
#include "tests/net/test_server.h"

namespace nettest {
namespace {

using namespace std::string_literals;

struct FetchRun {
  int status = -1;
  std::string err;
  double seconds = 0;
};

FetchRun Fetch(const std::string& args) {
  const auto start = std::chrono::steady_clock::now();
  FILE* p = ::popen((std::string(NETTEST_FETCH) + " " + args + " 2>&1 >/dev/null").c_str(), "r");
  FetchRun r;
  std::array<char, 4096> buf;
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), p)) > 0;) r.err.append(buf.data(), n);
  const int w = ::pclose(p);
  r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

int Lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

TEST(Fetch, ExitsZeroOnlyWithTheCompleteFile) {
  const std::string dir = MakeWorkDir("fetch");
  const std::string body = PatternBody(3 << 20, 31);
  WriteFile(dir + "/vd.exe", body);
  WriteFile(dir + "/out", "left over");
  {
    Nginx nginx(dir);
    FetchRun r = Fetch(nginx.Url("/vd.exe") + " " + dir + "/out");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when not on a terminal";
    EXPECT_TRUE(ReadWholeFile(dir + "/out") == body);

    r = Fetch("--connections 2 " + nginx.Url("/missing.exe") + " " + dir + "/out");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
  RemoveTree(dir);
}

TEST(Fetch, RetryFlagsBoundAnUnreachableServer) {
  const std::string dir = MakeWorkDir("fetch-retry");
  int port = 0;
  { TestServer gone([](Exchange&) {}); port = gone.port(); }
  const FetchRun r =
      Fetch("--retry-pause-ms 100 --max-retries 3 http://127.0.0.1:" + std::to_string(port) + "/x " + dir + "/out");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1) << r.err;
  EXPECT_GE(r.seconds, 0.3);
  EXPECT_LT(r.seconds, 3.0);
  RemoveTree(dir);
}

TEST(Fetch, Usage) {
  const std::string dir = MakeWorkDir("fetch-usage");
  const std::string out = " " + dir + "/out";
  for (const std::string& args : {std::string(), "http://127.0.0.1/x"s, "--connections 0 http://127.0.0.1/x" + out,
                                  "--bogus 1 http://127.0.0.1/x" + out, "ftp://127.0.0.1/x" + out,
                                  "http://127.0.0.1/x " + dir /* a folder, not a file */}) {
    SCOPED_TRACE(args);
    const FetchRun r = Fetch(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir));
  RemoveTree(dir);
}

}  // namespace
}  // namespace nettest
