// The HTTP read of the version document.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/internet.h"
#include "tests/net/nginx.h"
#include "tests/net/test_server.h"

namespace nettest {
namespace {

using namespace std::string_literals;

std::string ReadHead(int port, const std::string& path) {
  return "GET " + path +
         " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
         "Host: 127.0.0.1:" + std::to_string(port) + "\r\nPragma: no-cache\r\n\r\n";
}

TEST(ReadFile, OneRequestAndTheWholeBodyWhateverTheStatus) {
  for (int status : {200, 404, 500}) {
    SCOPED_TRACE(status);
    TestServer server([&](Exchange& x) { ServeStatus(x, status, "Content-Type: text/plain\r\n", "2.2\r\n"); });
    EXPECT_EQ(internet::ReadFile(server.Url("/updata/ver.php")), "2.2\r\n");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head, ReadHead(server.port(), "/updata/ver.php"));
  }
}

TEST(ReadFile, BodyShapes) {
  struct Case {
    const char* name;
    std::string answer;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"close_delimited", "HTTP/1.0 200 OK\r\n\r\n2.3 and more", "2.3 and more"},
      {"length_cuts_the_rest", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n2.4garbage", "2.4"},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n2.\r\n1\r\n5\r\n0\r\n\r\n", "2.5"},
      {"binary_with_zero", "HTTP/1.0 200 OK\r\n\r\n2.6\0x"s, "2.6\0x"s},
      {"cut_mid_body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n2.7", "2.7"},
      {"no_head", "2.8", ""},
      {"not_http", "SSH-2.0-x\r\n\r\n2.9", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server([&](Exchange& x) { x.Send(c.answer); });
    EXPECT_EQ(internet::ReadFile(server.Url("/updata/ver.php")), c.body);
  }
}

TEST(ReadFile, FollowsRedirects) {
  TestServer server([](Exchange& x) {
    if (x.request().target == "/updata/ver.php") return ServeStatus(x, 302, "Location: /v2/ver.txt\r\n", "moved");
    ServeStatus(x, 200, "", "3.0");
  });
  EXPECT_EQ(internet::ReadFile(server.Url("/updata/ver.php")), "3.0");
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].head, ReadHead(server.port(), "/v2/ver.txt"));
}

TEST(ReadFile, FailuresGiveNothingOrThePartThatArrived) {
  int port = 0;
  { TestServer gone([](Exchange&) {}); port = gone.port(); }
  EXPECT_EQ(internet::ReadFile("http://127.0.0.1:" + std::to_string(port) + "/updata/ver.php"), "");
  EXPECT_EQ(internet::ReadFile("https://127.0.0.1/updata/ver.php"), "");
  EXPECT_EQ(internet::ReadFile("no address"), "");

  // A server that stops sending: the read ends by its own limit with what had come.
  TestServer stall([](Exchange& x) {
    x.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n2.2");
    x.Sleep(30000);
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(internet::ReadFile(stall.Url("/updata/ver.php")), "2.2");
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(took, 9.0);
  EXPECT_LE(took, 12.0);
}

TEST(ReadFile, FromNginx) {
  const std::string dir = MakeWorkDir("read-nginx");
  WriteFile(dir + "/ver.php", "2.2\n");
  {
    Nginx nginx(dir);
    EXPECT_EQ(internet::ReadFile(nginx.Url("/ver.php")), "2.2\n");
    EXPECT_NE(internet::ReadFile(nginx.Url("/missing.php")).find("404 Not Found"), std::string::npos)
        << "an error page is the body too";
  }
  RemoveTree(dir);
}

}  // namespace
}  // namespace nettest
