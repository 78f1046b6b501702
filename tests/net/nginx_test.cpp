// The downloader against nginx, whose Range support is the real one.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/common/net/options.h"
#include "platform/netxfer.h"
#include "tests/net/harness.h"
#include "tests/net/nginx.h"
#include "tests/net/test_server.h"

namespace nettest {
namespace {

class NginxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vnet::SetRetryPolicy(100, 3);
    dir_ = MakeWorkDir("nginx-files");
    WriteFile(dir_ + "/big.bin", big_);
    WriteFile(dir_ + "/small.bin", small_);
    nginx_ = std::make_unique<Nginx>(dir_, "location /slow/ { alias " + dir_ + "/; limit_rate 256k; }");
  }
  void TearDown() override {
    nginx_.reset();
    RemoveTree(dir_);
  }
  int RangedRequests() const {
    const std::string log = nginx_->AccessLog();
    int n = 0;
    for (std::size_t at = 0; (at = log.find("\" 206 ", at)) != std::string::npos; ++at) ++n;
    return n;
  }

  const std::string big_ = PatternBody(12 << 20, 21);
  const std::string small_ = PatternBody(1 << 20, 22);
  std::string dir_;
  std::unique_ptr<Nginx> nginx_;
};

TEST_F(NginxTest, WholeFileForEveryConnectionCount) {
  for (int connections : {1, 2, 5, 8}) {
    SCOPED_TRACE(connections);
    const Result r = RunTask(nginx_->Url("/big.bin"), dir_ + "/out" + std::to_string(connections),
                             {.tweak = [&](netxfer::TaskParam& t) { t.Connections = connections; }});
    ExpectComplete(r, big_);
    EXPECT_EQ(r.Count(netxfer::kEventConnStarted), connections);
    EXPECT_EQ(r.Count(netxfer::kEventConnFailed), 0);
  }
  EXPECT_GE(RangedRequests(), 1 + 4 + 7) << "every connection after the first asks for a range";
}

TEST_F(NginxTest, RateLimitedLocationGainsFromParallelConnections) {
  // 1 MiB at 256 KiB/s per connection: 4 s on one, about 0.8 s on five plus the takeovers.
  const Result r = RunTask(nginx_->Url("/slow/small.bin"), dir_ + "/out");
  ExpectComplete(r, small_);
  EXPECT_LT(r.seconds, 2.0);
}

TEST_F(NginxTest, SpeedLimitIsSharedAmongTheConnections) {
  // 1 MiB at 400 000 bytes/s for the whole task: about 2.6 s whatever the connection count.
  const Result r = RunTask(nginx_->Url("/small.bin"), dir_ + "/out", {.tweak = [](netxfer::TaskParam& t) {
                             t.SpeedLimit = 400000;
                             t.Connections = 4;
                           }});
  ExpectComplete(r, small_);
  EXPECT_GE(r.seconds, 2.0);
  EXPECT_LT(r.seconds, 4.5);
}

TEST_F(NginxTest, MissingFileIsACleanFailureWithoutRetries) {
  const Result r = RunTask(nginx_->Url("/nothing.bin"), dir_ + "/out");
  ASSERT_TRUE(r.ended);
  EXPECT_EQ(r.Count(netxfer::kEventTotalSize), 0);
  EXPECT_EQ(r.Count(netxfer::kEventConnFailed), 1);
  EXPECT_FALSE(r.file_exists);
  EXPECT_LT(r.seconds, 1.0) << "an error status is not retried";
}

}  // namespace
}  // namespace nettest
