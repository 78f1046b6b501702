#include "tests/net/harness.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "tests/net/nginx.h"

namespace nettest {

namespace {

struct Recorder {
  std::mutex m;
  std::condition_variable cv;
  Result* result = nullptr;
  netxfer::Download* download = nullptr;
  const RunOptions* options = nullptr;
};
Recorder g_rec;

std::intptr_t OnEvent(std::intptr_t type, std::intptr_t first, std::intptr_t second, std::intptr_t third,
                      std::intptr_t) {
  Ev e{type, first, second, third, std::this_thread::get_id(), {}};
  if (type == netxfer::kEventTotalSize && third) e.text = reinterpret_cast<const char*>(third);
  std::int64_t done = -1;
  if (type == netxfer::kEventTaskEnded) done = netxfer::DoneLength(*g_rec.download);
  const std::intptr_t answer = g_rec.options->answer ? g_rec.options->answer(e) : 0;
  std::lock_guard<std::mutex> l(g_rec.m);
  Result& r = *g_rec.result;
  if (type == netxfer::kEventTotalSize) {
    r.total = second;
    r.path = e.text;
  }
  if (type == netxfer::kEventTaskEnded) {
    r.done = done;
    r.ended = true;
    g_rec.cv.notify_all();
  }
  r.events.push_back(std::move(e));
  return answer;
}

}  // namespace

int Result::Count(std::intptr_t type) const { return static_cast<int>(Of(type).size()); }

std::vector<Ev> Result::Of(std::intptr_t type) const {
  std::vector<Ev> out;
  for (const Ev& e : events) {
    if (e.type == type) out.push_back(e);
  }
  return out;
}

netxfer::TaskParam UpdateRecord(const std::string& url, const std::string& path) {
  netxfer::TaskParam t;
  std::memset(&t, 0, sizeof t);
  netxfer::SetStartupDefaults(t);
  t.Flags = netxfer::kFlagDownload;
  netxfer::SetText(t.Url, url.c_str());
  netxfer::SetText(t.LocalPath, path.c_str());
  t.Connections = 5;
  t.ConnectTimeout = 5000;
  t.SendTimeout = 5000;
  t.ReceiveTimeout = 10000;
  t.ReceiveBlock = 10240;
  t.StopWait = 1000;
  t.EventCallback = &OnEvent;
  return t;
}

Result RunTask(const std::string& url, const std::string& path, const RunOptions& options) {
  Result r;
  netxfer::Download download;
  netxfer::TaskParam record = UpdateRecord(url, path);
  if (options.tweak) options.tweak(record);
  {
    std::lock_guard<std::mutex> l(g_rec.m);
    g_rec.result = &r;
    g_rec.download = &download;
    g_rec.options = &options;
  }
  const auto start = std::chrono::steady_clock::now();
  r.added = netxfer::AddTask(download, record);
  netxfer::FreeTexts(record);  // the task keeps its own copies
  if (r.added) {
    std::unique_lock<std::mutex> l(g_rec.m);
    g_rec.cv.wait_for(l, std::chrono::milliseconds(options.limit_ms), [&] { return r.ended; });
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The object holds no task once event 4 has returned.
  for (int i = 0; r.ended && i < 200 && netxfer::DoneLength(download) != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (r.ended) {
    EXPECT_EQ(netxfer::DoneLength(download), 0) << "the task was not released after event 4";
  }
  netxfer::Destroy(download);
  {
    std::lock_guard<std::mutex> l(g_rec.m);
    g_rec.result = nullptr;
  }
  r.file = ReadWholeFile(r.path.empty() ? path : r.path, &r.file_exists);
  return r;
}

std::string Describe(const Result& r) {
  std::string s = "events:";
  for (const Ev& e : r.events) {
    s += " " + std::to_string(e.type) + "(" + (e.type == 3 || e.type == 4 ? "task" : std::to_string(e.first)) + "," +
         std::to_string(e.second) + (e.third && e.type != 3 ? "," + std::to_string(e.third) : "") + ")";
  }
  return s;
}

void ExpectHonest(const Result& r, const std::string& body) {
  SCOPED_TRACE(Describe(r));
  ASSERT_TRUE(r.ended) << "no event 4 within the limit";
  ASSERT_FALSE(r.events.empty());
  EXPECT_EQ(r.events.back().type, netxfer::kEventTaskEnded) << "event 4 must be the last";
  EXPECT_EQ(r.Count(netxfer::kEventTaskEnded), 1);
  const auto size = static_cast<std::int64_t>(body.size());
  if (r.done == size) {
    EXPECT_EQ(r.total, size);
    EXPECT_TRUE(r.file == body) << "reported complete, yet the file differs (" << r.file.size() << " bytes)";
  } else {
    EXPECT_LT(r.done, size);
    EXPECT_LT(static_cast<std::int64_t>(r.file.size()), size) << "an incomplete file must not have the full size";
    EXPECT_TRUE(body.compare(0, r.file.size(), r.file) == 0) << "the partial file is not a prefix of the body";
  }
}

void ExpectComplete(const Result& r, const std::string& body) {
  SCOPED_TRACE(Describe(r));
  ExpectHonest(r, body);
  EXPECT_EQ(r.done, static_cast<std::int64_t>(body.size()));
  EXPECT_EQ(r.events.empty() ? -1 : r.events.back().second, static_cast<std::intptr_t>(body.size()));
  EXPECT_TRUE(r.file == body);
}

}  // namespace nettest
