// The downloader against the project's fault-injecting server.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>

#include "platform/common/net/options.h"
#include "platform/netxfer.h"
#include "tests/net/harness.h"
#include "tests/net/nginx.h"
#include "tests/net/test_server.h"

namespace nettest {
namespace {

using netxfer::TaskParam;

constexpr std::size_t kSize = 100000;  // five segments of 20000 bytes, too short to be split
const std::string kBody = PatternBody(kSize);

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeWorkDir("download");
    vnet::SetRetryPolicy(50, 3);
  }
  void TearDown() override { RemoveTree(dir_); }
  std::string File(const std::string& name = "vd.exe.tmp") const { return dir_ + "/" + name; }

  std::string dir_;
};

std::string DownloadHead(int port, const std::string& path, std::int64_t range_from) {
  std::string h = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                  "\r\nAccept: */*\r\nReferer: http://127.0.0.1:" + std::to_string(port) +
                  "/updata\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
  if (range_from > 0) h += "Range: bytes=" + std::to_string(range_from) + "-\r\n";
  return h + "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
}

TEST_F(DownloadTest, RequestsAreExactlyWhatTheServerMustSee) {
  TestServer server([](Exchange& x) { ServeBody(x, kBody); });
  const Result r = RunTask(server.Url("/updata/vd.exe"), File());
  ExpectComplete(r, kBody);

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0].head, DownloadHead(server.port(), "/updata/vd.exe", 0)) << "the first asks without a range";
  std::set<std::int64_t> starts;
  for (std::size_t i = 1; i < requests.size(); ++i) {
    starts.insert(requests[i].range_from);
    EXPECT_EQ(requests[i].head, DownloadHead(server.port(), "/updata/vd.exe", requests[i].range_from));
  }
  EXPECT_EQ(starts, (std::set<std::int64_t>{20000, 40000, 60000, 80000}));
}

TEST_F(DownloadTest, EventsFollowTheTableOnTheTaskThread) {
  TestServer server([](Exchange& x) { ServeBody(x, kBody); });
  const Result r = RunTask(server.Url("/updata/vd.exe"), File());
  ExpectComplete(r, kBody);

  ASSERT_EQ(r.Count(netxfer::kEventTotalSize), 1);
  const Ev total = r.Of(netxfer::kEventTotalSize)[0];
  EXPECT_EQ(total.second, static_cast<std::intptr_t>(kSize));
  EXPECT_EQ(total.text, File());
  EXPECT_EQ(r.events.back().first, total.first) << "events 3 and 4 name the same task";

  // Per connection: 5, then 6 with its segment, bytes adding up to it, then 8 at its end.
  std::map<std::intptr_t, std::vector<Ev>> by_connection;
  for (const Ev& e : r.events) {
    if (e.type >= netxfer::kEventConnStarted && e.type <= netxfer::kEventReceived) by_connection[e.first].push_back(e);
  }
  ASSERT_EQ(by_connection.size(), 5u);
  std::set<std::pair<std::intptr_t, std::intptr_t>> segments;
  for (const auto& [connection, events] : by_connection) {
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().type, netxfer::kEventConnStarted);
    EXPECT_EQ(events[1].type, netxfer::kEventSegmentStarted);
    EXPECT_EQ(events.back().type, netxfer::kEventConnEnded);
    EXPECT_EQ(events.back().second, events[1].third) << "ended at its segment's end";
    std::intptr_t received = 0;
    for (const Ev& e : events) received += e.type == netxfer::kEventReceived ? e.second : 0;
    EXPECT_EQ(received, events[1].third - events[1].second);
    segments.insert({events[1].second, events[1].third});
  }
  EXPECT_EQ(segments, (std::set<std::pair<std::intptr_t, std::intptr_t>>{
                          {0, 20000}, {20000, 40000}, {40000, 60000}, {60000, 80000}, {80000, 100000}}));
  EXPECT_EQ(r.Count(netxfer::kEventConnFailed), 0);

  std::set<std::thread::id> threads;
  for (const Ev& e : r.events) threads.insert(e.thread);
  EXPECT_EQ(threads.size(), 1u) << "every event on the task's thread";
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST_F(DownloadTest, RefererFromTheRecordAndRequestsThroughAProxy) {
  const std::string body = PatternBody(30000, 7);
  TestServer proxy([&](Exchange& x) { ServeBody(x, body); });
  const Result r = RunTask("http://files.example:8080/pkg/vd.exe", File(), {.tweak = [&](TaskParam& t) {
                             netxfer::SetText(t.HttpProxy, ("127.0.0.1:" + std::to_string(proxy.port())).c_str());
                             netxfer::SetText(t.Referer, "http://site.example/start");
                             t.Connections = 2;
                           }});
  ExpectComplete(r, body);
  const auto requests = proxy.requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const Request& q : requests) {
    std::string expected = "GET http://files.example:8080/pkg/vd.exe HTTP/1.1\r\nHost: files.example:8080\r\n"
                           "Accept: */*\r\nReferer: http://site.example/start\r\n"
                           "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n";
    if (q.range_from > 0) expected += "Range: bytes=15000-\r\n";
    expected += "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(q.head, expected);
  }
}

// Scenarios of a misbehaving server: each ends complete and identical, or in a clean failure.
struct Scenario {
  const char* name;
  std::function<void(Exchange&)> handler;
  bool complete;
  int requests = -1;  // exactly this many requests, when given
};

constexpr std::int64_t kSegment = kSize / 5;

Faults OnFirst(int count, const Exchange& x, Faults f) { return x.request().index < count ? f : Faults{}; }

std::vector<Scenario> Scenarios() {
  auto serve = [](Faults f) { return [f](Exchange& x) { ServeBody(x, kBody, f); }; };
  auto status = [](int code) { return [code](Exchange& x) { ServeStatus(x, code, "", "<html>no</html>"); }; };
  return {
      {"drop_in_the_middle_of_segments",
       [](Exchange& x) { ServeBody(x, kBody, OnFirst(4, x, {.drop_after = 7000})); }, true},
      {"short_bodies_closed_early",
       [](Exchange& x) { ServeBody(x, kBody, OnFirst(4, x, {.cut_after = 5000})); }, true},
      {"ranges_shorter_than_asked", serve({.range_length = 4096}), true},
      {"whole_body_200_to_every_ranged_request", serve({.ignore_range = true}), true},
      {"content_range_starting_later", serve({.range_shift = 1000}), true},
      {"content_range_starting_earlier", serve({.range_shift = -1000}), true},
      {"content_range_with_another_total", serve({.total_delta = 1}), true},
      {"one_segment_refused_with_500",
       [](Exchange& x) {
         // the segment's own request only; whoever takes the run over is served
         if (x.request().range_from == 2 * kSegment && x.request().index < 5) return ServeStatus(x, 500, "", "busy");
         ServeBody(x, kBody);
       },
       true},
      {"garbage_past_each_segment_end",
       [](Exchange& x) {
         // Right bytes up to the end of the asked segment, then junk: only clamped writes survive.
         const std::int64_t from = std::max<std::int64_t>(0, x.request().range_from);
         std::string bent = kBody;
         for (std::size_t i = static_cast<std::size_t>(from + kSegment); i < bent.size(); ++i) bent[i] = 'X';
         ServeBody(x, bent);
       },
       true, 5},
      {"no_content_length", serve({.no_length = true}), false, 1},
      {"chunked_body", serve({.chunked = true}), false, 1},
      {"status_404", status(404), false, 1},
      {"status_500", status(500), false, 1},
      {"status_416", status(416), false, 1},
      {"redirect_chain",
       [](Exchange& x) {
         const std::string& t = x.request().target;
         if (t == "/updata/vd.exe") return ServeStatus(x, 301, "Location: /moved/first\r\n", "");
         if (t == "/moved/first") return ServeStatus(x, 302, "Location: ../files/vd.exe\r\n", "");
         if (t == "/files/vd.exe") return ServeBody(x, kBody);
         ServeStatus(x, 404, "", "");
       },
       true, 15},
      {"redirect_loop",
       [](Exchange& x) {
         ServeStatus(x, 302, x.request().target == "/updata/vd.exe" ? "Location: /b\r\n" : "Location: /updata/vd.exe\r\n",
                     "");
       },
       false, 2},
      {"redirects_past_twenty_hops",
       [](Exchange& x) { ServeStatus(x, 302, "Location: /r" + std::to_string(x.request().index) + "\r\n", ""); },
       false, 21},
      {"redirect_to_another_scheme",
       [](Exchange& x) { ServeStatus(x, 301, "Location: https://127.0.0.1/vd.exe\r\n", ""); }, false, 1},
      {"slow_trickle", serve({.trickle_bytes = 1000, .trickle_ms = 5}), true},
      {"stall_then_recover", [](Exchange& x) { ServeBody(x, kBody, OnFirst(2, x, {.stall_after = 3000})); }, true},
      {"head_then_silence_every_time", serve({.stall_after = 0}), false},
      {"garbage_instead_of_a_head", [](Exchange& x) { x.Send("SSH-2.0-OpenSSH\r\n\r\n"); }, false, 1},
  };
}

class FaultTest : public DownloadTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(FaultTest, EndsCompleteOrInACleanFailure) {
  const Scenario& s = GetParam();
  TestServer server(s.handler);
  const Result r = RunTask(server.Url("/updata/vd.exe"), File(),
                           {.tweak = [](TaskParam& t) { t.ReceiveTimeout = 300; }});
  ExpectHonest(r, kBody);
  if (s.complete) {
    ExpectComplete(r, kBody);
  } else {
    EXPECT_NE(r.done, static_cast<std::int64_t>(kSize));
    EXPECT_GE(r.Count(netxfer::kEventConnFailed), 1);
  }
  if (s.requests >= 0) {
    EXPECT_EQ(static_cast<int>(server.requests().size()), s.requests);
  }
}

INSTANTIATE_TEST_SUITE_P(Server, FaultTest, ::testing::ValuesIn(Scenarios()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, AFinishedConnectionTakesOverTheLargerHalfOfTheSlowestRun) {
  const std::string body = PatternBody(400000, 3);
  // The last segment's own request trickles; everything else is fast.
  TestServer server([&](Exchange& x) {
    ServeBody(x, body, x.request().range_from == 320000 ? Faults{.trickle_bytes = 2000, .trickle_ms = 20} : Faults{});
  });
  const Result r = RunTask(server.Url("/updata/vd.exe"), File());
  ExpectComplete(r, body);
  std::set<std::int64_t> asked;
  for (const Request& q : server.requests()) asked.insert(q.range_from);
  int into_slow_run = 0;
  for (const Ev& e : r.Of(netxfer::kEventSegmentTakenOver)) {
    EXPECT_TRUE(asked.count(e.second)) << "a new request starts where the taken-over half does: " << e.second;
    if (e.second > 320000 && e.third == 400000) ++into_slow_run;
  }
  EXPECT_GE(into_slow_run, 1) << "the upper half of the slow run, up to its end";
  EXPECT_LT(r.seconds, 3.0) << "the slow run alone would take 4 s";
}

TEST_F(DownloadTest, ConnectionFaultsAreRetriedAfterThePauseThenGivenUp) {
  vnet::SetRetryPolicy(200, 2);
  int port = 0;
  { TestServer gone([](Exchange&) {}); port = gone.port(); }  // a port nobody listens on
  const Result r = RunTask("http://127.0.0.1:" + std::to_string(port) + "/vd.exe", File());
  ExpectHonest(r, kBody);
  EXPECT_FALSE(r.file_exists) << "no file without a size";
  EXPECT_EQ(r.Count(netxfer::kEventConnFailed), 1);
  EXPECT_EQ(r.Count(netxfer::kEventTotalSize), 0);
  EXPECT_EQ(r.events.back().second, 0);
  EXPECT_GE(r.seconds, 0.4) << "two pauses of 200 ms";
  EXPECT_LT(r.seconds, 3.0);
}

TEST_F(DownloadTest, EmptyAndTinyFiles) {
  for (std::size_t size : {0, 1, 3, 7}) {
    SCOPED_TRACE(size);
    const std::string body = PatternBody(size, 11);
    TestServer server([&](Exchange& x) { ServeBody(x, body); });
    std::filesystem::remove(File());
    const Result r = RunTask(server.Url("/f"), File());
    ExpectComplete(r, body);
    EXPECT_TRUE(r.file_exists);
    EXPECT_EQ(r.total, static_cast<std::int64_t>(size));
    EXPECT_EQ(static_cast<std::size_t>(r.Count(netxfer::kEventConnStarted)), std::max<std::size_t>(1, std::min<std::size_t>(5, size)));
  }
}

std::vector<std::string> AllNumbersTaken() {
  std::vector<std::string> names{"ZADADA5.exe.tmp"};
  for (int i = 1; i <= 99; ++i) names.push_back("ZADADA5(" + std::to_string(i) + ").exe.tmp");
  return names;
}

// Event 18: a file of that name exists before the download creates its own.
TEST_F(DownloadTest, AnExistingFileIsAskedAboutOnTheConnectionThread) {
  const std::string body = PatternBody(50000, 5);
  TestServer server([&](Exchange& x) { ServeBody(x, body); });
  struct Case {
    const char* name;
    std::intptr_t answer;
    std::vector<std::string> present;  // files there before
    std::string saved_as;              // empty: nothing saved
  };
  const std::vector<Case> cases = {
      {"numbered", 0, {"ZADADA5.exe.tmp"}, "ZADADA5(1).exe.tmp"},
      {"next_number", 0, {"ZADADA5.exe.tmp", "ZADADA5(1).exe.tmp"}, "ZADADA5(2).exe.tmp"},
      {"no_point", 0, {"package"}, "package(1)"},
      {"give_up", 1, {"ZADADA5.exe.tmp"}, ""},
      {"every_number_taken", 0, AllNumbersTaken(), ""},
      {"renamed_by_the_routine", 2, {"ZADADA5.exe.tmp"}, "ZADADA5.exe.tmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(dir_);
    std::filesystem::create_directories(dir_);
    for (const std::string& f : c.present) WriteFile(File(f), "old");
    const std::string target = File(c.present.front());
    const Result r = RunTask(server.Url("/f"), target, {.answer = [&](const Ev& e) -> std::intptr_t {
                               if (e.type != netxfer::kEventFileExists) return 0;
                               if (c.answer == 2) std::filesystem::rename(target, target + ".old");
                               return c.answer;
                             }});
    ASSERT_EQ(r.Count(netxfer::kEventFileExists), 1);
    const Ev asked = r.Of(netxfer::kEventFileExists)[0];
    EXPECT_EQ(asked.first, 3) << "the existing file's size";
    EXPECT_EQ(asked.second, 50000);
    EXPECT_NE(asked.thread, r.events.back().thread) << "asked on the connection's thread, not the task's";
    if (c.saved_as.empty()) {
      ASSERT_TRUE(r.ended);
      EXPECT_EQ(r.events.back().type, netxfer::kEventTaskEnded);
      EXPECT_EQ(r.Count(netxfer::kEventConnFailed), 1);
      EXPECT_EQ(r.done, 0);
      EXPECT_EQ(r.Count(netxfer::kEventTotalSize), 0);
      EXPECT_EQ(ReadWholeFile(target), "old") << "giving up leaves the existing file alone";
    } else {
      ExpectComplete(r, body);
      EXPECT_EQ(r.path, File(c.saved_as));
      if (c.answer == 0) {
        EXPECT_EQ(ReadWholeFile(target), "old");
      }
    }
  }
}

TEST_F(DownloadTest, AddTaskRefusesAndHoldsOneTaskAtATime) {
  for (const char* address : {"", "http://", "http:///vd.exe", "http://:80/vd.exe", "ftp://127.0.0.1/vd.exe",
                              "https://127.0.0.1/vd.exe", "mms://127.0.0.1/vd", "rtsp://127.0.0.1/vd",
                              "http://127.0.0.1:99999/vd.exe", "127.0.0.1/vd.exe"}) {
    netxfer::Download d;
    TaskParam t = UpdateRecord(address, File());
    EXPECT_FALSE(netxfer::AddTask(d, t)) << address;
    EXPECT_EQ(netxfer::DoneLength(d), 0);
    netxfer::FreeTexts(t);
  }

  // A second task while the first runs is refused; the first goes on to the end.
  const std::string body = PatternBody(60000, 9);
  TestServer server([&](Exchange& x) { ServeBody(x, body, {.trickle_bytes = 4000, .trickle_ms = 20}); });
  netxfer::Download d;
  TaskParam first = UpdateRecord(server.Url("/a"), File("a"));
  first.EventCallback = nullptr;
  TaskParam second = UpdateRecord(server.Url("/b"), File("b"));
  second.EventCallback = nullptr;
  EXPECT_EQ(netxfer::DoneLength(d), 0);
  ASSERT_TRUE(netxfer::AddTask(d, first));
  EXPECT_FALSE(netxfer::AddTask(d, second));
  // Released after its end: the count goes back to 0 and the object takes a new task.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::int64_t seen = 0;
  while (std::chrono::steady_clock::now() < until) {
    const std::int64_t done = netxfer::DoneLength(d);
    seen = std::max(seen, done);
    if (seen > 0 && done == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GT(seen, 0);
  EXPECT_EQ(netxfer::DoneLength(d), 0);
  EXPECT_EQ(ReadWholeFile(File("a")), body);
  EXPECT_FALSE(std::filesystem::exists(File("b")));
  EXPECT_TRUE(netxfer::AddTask(d, second));
  netxfer::Destroy(d);
  netxfer::FreeTexts(first);
  netxfer::FreeTexts(second);
}

// Destroy at exit: the program releases the event routine's receiver right after.
class DestroyTest : public DownloadTest {
 protected:
  static std::intptr_t Count(std::intptr_t type, std::intptr_t, std::intptr_t, std::intptr_t, std::intptr_t) {
    std::unique_lock<std::mutex> l(mutex_);
    ++events_;
    if (type == netxfer::kEventTotalSize && block_) {
      blocked_ = true;
      cv_.notify_all();
      cv_.wait(l, [] { return !block_; });
    }
    return 0;
  }
  static inline std::mutex mutex_;
  static inline std::condition_variable cv_;
  static inline int events_ = 0;
  static inline bool block_ = false, blocked_ = false;
};

TEST_F(DestroyTest, StopsWithinStopWaitLeavesAnHonestPartialFileAndRaisesNothingAfter) {
  const std::string body = PatternBody(2000000, 13);
  TestServer server([&](Exchange& x) { ServeBody(x, body, {.trickle_bytes = 10000, .trickle_ms = 10}); });
  auto* d = new netxfer::Download();
  TaskParam t = UpdateRecord(server.Url("/vd.exe"), File());
  t.EventCallback = &Count;
  ASSERT_TRUE(netxfer::AddTask(*d, t));
  while (netxfer::DoneLength(*d) < 200000) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  const auto start = std::chrono::steady_clock::now();
  netxfer::Destroy(*d);
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LE(took, 1.1);
  EXPECT_EQ(netxfer::DoneLength(*d), 0);
  delete d;  // right away, as the exit routine does
  int at_destroy;
  {
    std::lock_guard<std::mutex> l(mutex_);
    at_destroy = events_;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  {
    std::lock_guard<std::mutex> l(mutex_);
    EXPECT_EQ(events_, at_destroy) << "events after Destroy returned";
  }
  const std::string partial = ReadWholeFile(File());
  EXPECT_GE(partial.size(), 1u);
  EXPECT_LT(partial.size(), body.size());
  EXPECT_TRUE(body.compare(0, partial.size(), partial) == 0) << "the partial file is cut back to what was written";
  netxfer::FreeTexts(t);
}

TEST_F(DestroyTest, DoesNotWaitForTheTaskThreadBlockedInTheEventRoutine) {
  const std::string body = PatternBody(100000, 17);
  TestServer server([&](Exchange& x) { ServeBody(x, body); });
  block_ = true;
  auto* d = new netxfer::Download();
  TaskParam t = UpdateRecord(server.Url("/vd.exe"), File());
  t.EventCallback = &Count;
  t.StopWait = 200;
  ASSERT_TRUE(netxfer::AddTask(*d, t));
  {
    std::unique_lock<std::mutex> l(mutex_);
    ASSERT_TRUE(cv_.wait_for(l, std::chrono::seconds(5), [] { return blocked_; }));
  }
  const auto start = std::chrono::steady_clock::now();
  netxfer::Destroy(*d);
  delete d;
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.6);
  int at_release;
  {
    std::lock_guard<std::mutex> l(mutex_);
    block_ = false;
    at_release = events_;
    cv_.notify_all();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  std::lock_guard<std::mutex> l(mutex_);
  EXPECT_EQ(events_, at_release) << "the forgotten task raised events after its routine returned";
  netxfer::FreeTexts(t);
}

}  // namespace
}  // namespace nettest
