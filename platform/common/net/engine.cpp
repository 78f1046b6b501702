// The segmented HTTP downloader behind platform/netxfer.h.
//
// A task runs on a thread of its own that delivers the queued events, and on
// one thread per connection. The first connection asks without a range and
// learns the size; the file is then cut into runs, one per connection. Every
// run records how far it has been written (pos) and where it ends (end); a
// connection claims bytes under the task's lock, clamped to its run's current
// end, and writes them at their offset afterwards, so every byte is written
// exactly once. A connection that has finished takes over an abandoned run,
// or the larger half of the largest unfinished one.
//
// The file on disk stays honest: when the task ends incomplete it is cut back
// to the longest fully written prefix, so a file of the full size is always a
// complete one.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/net/http.h"
#include "platform/common/net/options.h"
#include "platform/common/net/socket.h"
#include "platform/netxfer.h"

namespace vnet {

namespace {
std::atomic<int> g_retry_pause_ms{kDefaultRetryPauseMs};
std::atomic<int> g_max_retries{kDefaultMaxRetries};
}  // namespace

void SetRetryPolicy(int pause_ms, int max_retries) {
  g_retry_pause_ms = std::max(0, pause_ms);
  g_max_retries = std::max(0, max_retries);
}

}  // namespace vnet

namespace netxfer {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxHead = 16384;
constexpr int kMaxRedirects = 20;
constexpr int kMaxConnections = 64;
constexpr auto kProgressWake = std::chrono::milliseconds(50);
// Receive blocks that have already arrived are written together, up to this much.
constexpr std::size_t kWriteBatch = std::size_t{256} * 1024;

struct Event {
  std::intptr_t type, first, second, third;
};

struct Run {
  std::int64_t start, pos, end;
  int owner;  // connection id, 0 when abandoned
};

struct Task {
  // Copied from the record when the task is added.
  vnet::Url target;
  bool via_proxy = false;
  vnet::Url proxy;
  std::string referer;
  std::string path;  // may gain a number before the file is created
  int connections = 1, speed_limit = 0, connect_timeout = 0, send_timeout = 0, receive_timeout = 0;
  int stop_wait = 0, receive_block = 0, retry_pause_ms = 0, max_retries = 0;
  EventRoutine callback = nullptr;

  std::atomic<bool> stop{false};  // set by Destroy or by a failure that ends the task
  std::atomic<std::int64_t> done{0};

  std::mutex m;
  std::condition_variable task_cv;   // the task thread: events, end
  std::condition_variable pause_cv;  // retry pauses and speed-limit waits
  std::condition_variable idle_cv;   // Destroy: connections and callbacks ending
  std::condition_variable work_cv;   // finished connections: a run abandoned, a connection ended
  bool forgotten = false;            // Destroy has run: no more events
  bool destroyed = false;
  std::vector<std::thread::id> in_callback;
  std::deque<Event> queue;
  std::vector<long> pending_progress;  // per connection: index of its event 16 still queued, -1 none
  bool urgent = false;
  Clock::time_point last_wake{};
  int live = 0;  // connection threads that have not ended
  bool ended = false;
  std::vector<std::thread> threads;
  std::vector<Run> runs;
  std::int64_t total = -1;
  bool no_ranges = false;  // the server ignores Range
  bool failed = false;     // the file cannot be completed
  std::int64_t write_error_at = -1;
  vnet::File file = vnet::kNoFile;
  int open_sockets = 0;

  Download* owner = nullptr;  // guarded by g_owners
};

}  // namespace

struct Download::Impl {
  std::shared_ptr<Task> task;
};

namespace {

std::mutex g_owners;  // Download::impl of every object, Task::owner

using Lock = std::unique_lock<std::mutex>;

std::intptr_t Handle(const Task& t) { return reinterpret_cast<std::intptr_t>(&t); }

// Lock held.
void Queue(Task& t, std::intptr_t type, std::intptr_t first, std::intptr_t second = 0, std::intptr_t third = 0) {
  const bool progress = type == kEventReceived;
  const std::size_t conn = (type >= kEventConnStarted && type <= kEventReceived) ? static_cast<std::size_t>(first) : 0;
  if (conn >= t.pending_progress.size()) t.pending_progress.resize(conn + 1, -1);
  if (progress && t.pending_progress[conn] >= 0) {
    t.queue[static_cast<std::size_t>(t.pending_progress[conn])].second += second;
  } else {
    t.queue.push_back({type, first, second, third});
    if (conn) t.pending_progress[conn] = progress ? static_cast<long>(t.queue.size() - 1) : -1;
  }
  const auto now = Clock::now();
  if (!progress || now - t.last_wake >= kProgressWake) {
    t.urgent = true;
    t.last_wake = now;
    t.task_cv.notify_one();
  }
}

// Calls the event routine on this thread unless the task has been forgotten.
std::intptr_t Call(Task& t, const Event& e, std::intptr_t forgotten_result) {
  if (!t.callback) return forgotten_result;
  {
    Lock l(t.m);
    if (t.forgotten) return forgotten_result;
    t.in_callback.push_back(std::this_thread::get_id());
  }
  const std::intptr_t r = t.callback(e.type, e.first, e.second, e.third, Handle(t));
  {
    Lock l(t.m);
    t.in_callback.erase(std::find(t.in_callback.begin(), t.in_callback.end(), std::this_thread::get_id()));
    t.idle_cv.notify_all();
  }
  return r;
}

// "ZADADA5.exe.tmp" -> "ZADADA5(1).exe.tmp": the number before the first point of the name.
std::string NumberedName(const std::string& path, int n) {
  const auto sep = path.find_last_of("/\\");
  const std::size_t name = sep == std::string::npos ? 0 : sep + 1;
  const auto dot = path.find('.', name);
  const std::string tag = "(" + std::to_string(n) + ")";
  if (dot == std::string::npos) return path + tag;
  return path.substr(0, dot) + tag + path.substr(dot);
}

// Lock held, every connection gone: cut the file back unless it is complete, then the last event.
void Finish(Task& t) {
  bool complete = t.total >= 0 && t.file != vnet::kNoFile && !t.failed;
  for (const Run& r : t.runs) complete = complete && r.pos >= r.end;
  if (t.file != vnet::kNoFile) {
    std::int64_t keep = t.total;
    if (!complete) {
      std::vector<Run> runs = t.runs;
      std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.start < b.start; });
      keep = 0;
      for (const Run& r : runs) {
        if (r.start > keep) break;
        keep = r.pos;
        if (r.pos < r.end) break;
      }
      if (t.write_error_at >= 0) keep = std::min(keep, t.write_error_at);
    }
    vnet::Truncate(t.file, keep);
    vnet::CloseFile(t.file);
    t.file = vnet::kNoFile;
  }
  const std::int64_t value = t.destroyed ? t.done.load() : std::max<std::int64_t>(t.total, 0);
  Queue(t, kEventTaskEnded, Handle(t), static_cast<std::intptr_t>(value));
  t.ended = true;
  t.task_cv.notify_one();
}

enum class Outcome { kDone, kFault, kFailure, kStopped };

void ConnectionMain(std::shared_ptr<Task> task, int id, int run);

class Connection {
 public:
  Connection(const std::shared_ptr<Task>& task, int id, int run)
      : task_(task),
        t_(*task),
        id_(id),
        run_(run),
        buffer_(std::max<std::size_t>(static_cast<std::size_t>(t_.receive_block), kWriteBatch)) {}

  void Main() {
    {
      Lock l(t_.m);
      Queue(t_, kEventConnStarted, id_);
      if (run_ >= 0) Queue(t_, kEventSegmentStarted, id_, Pos(run_), t_.runs[run_].end);
    }
    int retries = 0;
    Outcome o;
    for (;;) {
      const std::int64_t before = run_ >= 0 ? LockedPos() : -1;
      o = Attempt();
      if (o == Outcome::kDone) {
        retries = 0;
        if (NextRun()) continue;
        break;
      }
      if (o != Outcome::kFault) break;
      if (run_ >= 0 && LockedPos() > before) retries = 0;  // progress: a fresh series of retries
      if (retries >= t_.max_retries) {
        o = Outcome::kFailure;
        break;
      }
      ++retries;
      Lock l(t_.m);
      if (t_.pause_cv.wait_for(l, std::chrono::milliseconds(t_.retry_pause_ms), [&] { return t_.stop.load(); })) {
        o = Outcome::kStopped;
        break;
      }
    }
    Lock l(t_.m);
    const std::int64_t reached = run_ >= 0 ? t_.runs[run_].pos : 0;
    if (o != Outcome::kDone && run_ >= 0) t_.runs[run_].owner = 0;
    Queue(t_, o == Outcome::kDone ? kEventConnEnded : kEventConnFailed, id_, static_cast<std::intptr_t>(reached));
    if (--t_.live == 0) Finish(t_);
    t_.idle_cv.notify_all();
    t_.work_cv.notify_all();
  }

 private:
  std::int64_t Pos(int run) const { return t_.runs[static_cast<std::size_t>(run)].pos; }
  std::int64_t LockedPos() {
    Lock l(t_.m);
    return Pos(run_);
  }
  Outcome Interrupted() const { return t_.stop ? Outcome::kStopped : Outcome::kFault; }

  // After a finished run: take over another one, or wait while other connections still
  // work on theirs, as one of them may give its run up. False when nothing is left.
  bool NextRun() {
    Lock l(t_.m);
    for (;;) {
      if (t_.stop) return false;
      if (TakeOver()) return true;
      const bool others_working = std::any_of(t_.runs.begin(), t_.runs.end(), [&](const Run& r) {
        return r.owner != 0 && r.owner != id_ && r.pos < r.end;
      });
      if (!others_working) return false;
      t_.work_cv.wait(l);
    }
  }

  // Lock held. An abandoned run first, whole; else the larger half of the largest one.
  bool TakeOver() {
    int best = -1;
    std::int64_t best_left = 0;
    for (std::size_t i = 0; i < t_.runs.size(); ++i) {
      const Run& r = t_.runs[i];
      if (r.owner == 0 && r.end - r.pos > best_left) best = static_cast<int>(i), best_left = r.end - r.pos;
    }
    if (best >= 0) {
      t_.runs[best].owner = id_;
      run_ = best;
      took_over_ = true;
      Queue(t_, kEventSegmentTakenOver, id_, Pos(run_), t_.runs[run_].end);
      return true;
    }
    if (t_.no_ranges) return false;
    for (std::size_t i = 0; i < t_.runs.size(); ++i) {
      const Run& r = t_.runs[i];
      if (r.owner != id_ && r.end - r.pos > best_left) best = static_cast<int>(i), best_left = r.end - r.pos;
    }
    if (best < 0 || best_left < 2 * static_cast<std::int64_t>(t_.receive_block)) return false;
    Run& from = t_.runs[best];
    const std::int64_t mid = from.pos + best_left / 2;
    const std::int64_t end = from.end;
    from.end = mid;
    t_.runs.push_back({mid, mid, end, id_});
    run_ = static_cast<int>(t_.runs.size() - 1);
    took_over_ = true;
    Queue(t_, kEventSegmentTakenOver, id_, mid, end);
    return true;
  }

  // One request, redirects followed, and its body.
  Outcome Attempt() {
    std::int64_t want = 0;
    bool ask_range = true;
    if (run_ >= 0) {
      Lock l(t_.m);
      want = Pos(run_);
      ask_range = !t_.no_ranges;  // once ranges proved unreliable, every request starts at byte 0
    }
    vnet::Url url = t_.target;
    std::vector<std::string> seen{vnet::FullAddress(url)};
    for (int hops = 0;;) {
      const vnet::Url& server = t_.via_proxy ? t_.proxy : url;
      const vnet::Socket s = vnet::Connect(server.host, server.port, t_.connect_timeout, &t_.stop);
      if (s == vnet::kNoSocket) return Interrupted();
      struct Closer {
        vnet::Socket s;
        ~Closer() { vnet::Close(s); }
      } closer{s};
      const std::string request = vnet::BuildDownloadRequest({&url, t_.via_proxy, t_.referer, ask_range ? want : 0});
      if (!vnet::SendAll(s, request.data(), request.size(), t_.send_timeout, &t_.stop)) return Interrupted();

      std::string head;
      std::size_t head_size = 0;
      while ((head_size = vnet::FindHeadEnd(head)) == 0) {
        if (head.size() > kMaxHead) return Outcome::kFailure;
        const long n = vnet::Receive(s, buffer_.data(), static_cast<std::size_t>(t_.receive_block),
                                     t_.receive_timeout, &t_.stop);
        if (n <= 0) return Interrupted();
        head.append(buffer_.data(), static_cast<std::size_t>(n));
      }
      vnet::ResponseHead r;
      if (!vnet::ParseResponseHead(std::string_view(head).substr(0, head_size), r)) return Outcome::kFailure;

      if (r.status == 301 || r.status == 302) {
        vnet::Url next;
        if (!r.has_location || !vnet::ResolveLocation(url, r.location, next)) return Outcome::kFailure;
        std::string address = vnet::FullAddress(next);
        if (std::find(seen.begin(), seen.end(), address) != seen.end() || ++hops > kMaxRedirects)
          return Outcome::kFailure;
        seen.push_back(std::move(address));
        url = std::move(next);
        continue;
      }
      if ((r.status != 200 && r.status != 206) || r.chunked) return Outcome::kFailure;

      // Where the body starts, how long it is, and the size it gives the file.
      std::int64_t offset = 0, length = 0, size = -1;
      if (r.status == 200) {
        if (r.content_length < 0) return Outcome::kFailure;
        length = size = r.content_length;
      } else {
        if (!r.has_range || r.range_first < 0) return Outcome::kFailure;
        offset = r.range_first;
        length = r.range_last - r.range_first + 1;
        size = r.range_total;
        if (r.content_length >= 0 && r.content_length != length) return Outcome::kFailure;
      }

      if (run_ < 0 && t_.total < 0) {
        // The first answer: it fixes the size.
        if (offset != 0 || size < 0) return Outcome::kFailure;
        const Outcome o = LearnSize(size);
        if (o != Outcome::kDone || run_ < 0) return o;
      } else {
        Lock l(t_.m);
        if ((size >= 0 && size != t_.total) || offset + length > t_.total) {
          if (r.status == 206) t_.no_ranges = true;
          return Outcome::kFailure;
        }
        if (offset != want) {
          // An answer that does not start where asked is never written at our offset: a range
          // starting later is refused; one starting earlier (a whole 200 stream above all) is
          // read on to our position. A connection on its first segment gives up instead while
          // one before it is still streaming: that one reads on into the runs given up.
          t_.no_ranges = true;
          if (offset > want) return Outcome::kFailure;
          const std::int64_t start = t_.runs[run_].start;
          for (const Run& other : t_.runs) {
            if (!took_over_ && other.owner != 0 && other.owner != id_ && other.start < start && other.pos < other.end)
              return Outcome::kFailure;
          }
        }
      }
      return Body(s, offset, offset + length, std::string_view(head).substr(head_size));
    }
  }

  // The first connection has learned the size: the file, event 3, the runs, the other connections.
  Outcome LearnSize(std::int64_t size) {
    std::string path = t_.path;
    vnet::File f = vnet::OpenForWrite(path, true);
    if (f == vnet::kNoFile) {
      const std::int64_t existing = vnet::ExistingFileSize(path);
      if (existing >= 0) {
        // Without an event routine the numbered name; a forgotten task gives up.
        const std::intptr_t answer =
            t_.callback ? Call(t_, {kEventFileExists, static_cast<std::intptr_t>(existing),
                                    static_cast<std::intptr_t>(size), 0}, 1)
                        : 0;
        if (answer == 2) {
          f = vnet::OpenForWrite(path, false);
        } else if (answer != 1) {
          for (int n = 1; n <= 99 && f == vnet::kNoFile; ++n) {
            const std::string candidate = NumberedName(t_.path, n);
            f = vnet::OpenForWrite(candidate, true);
            if (f != vnet::kNoFile) path = candidate;
            else if (vnet::ExistingFileSize(candidate) < 0) break;  // not taken, yet it cannot be created
          }
        }
      }
    }
    Lock l(t_.m);
    if (f == vnet::kNoFile) {
      t_.failed = true;
      return Outcome::kFailure;
    }
    t_.path = path;
    t_.file = f;
    t_.total = size;
    Queue(t_, kEventTotalSize, Handle(t_), static_cast<std::intptr_t>(size),
          reinterpret_cast<std::intptr_t>(t_.path.c_str()));
    const std::int64_t n = std::min<std::int64_t>(t_.connections, size);
    for (std::int64_t i = 0; i < n; ++i) {
      t_.runs.push_back({size * i / n, size * i / n, size * (i + 1) / n, static_cast<int>(i + 1)});
    }
    if (n == 0) return Outcome::kDone;
    run_ = 0;
    Queue(t_, kEventSegmentStarted, id_, 0, static_cast<std::intptr_t>(t_.runs[0].end));
    for (int i = 1; i < n; ++i) {
      try {
        t_.threads.emplace_back(ConnectionMain, task_, i + 1, i);
        ++t_.live;
      } catch (...) {
        t_.runs[i].owner = 0;
      }
    }
    return Outcome::kDone;
  }

  // Streams [offset, body_end) into the run, first the bytes that came with the head.
  Outcome Body(vnet::Socket s, std::int64_t offset, std::int64_t body_end, std::string_view early) {
    struct Open {
      Task& t;
      explicit Open(Task& task) : t(task) {
        Lock l(t.m);
        ++t.open_sockets;
      }
      ~Open() {
        Lock l(t.m);
        --t.open_sockets;
      }
    } open(t_);
    at_ = offset;
    end_ = body_end;
    if (!early.empty()) {
      const Outcome o = Take(early.data(), early.size());
      if (o != Outcome::kFault) return o;
    }
    pace_ = Clock::now();
    const std::size_t block = static_cast<std::size_t>(t_.receive_block);
    for (;;) {
      if (at_ >= end_) return Outcome::kFault;  // the body ended before the run did
      std::size_t want = block;
      int rate = 0;
      if (t_.speed_limit > 0) {
        Lock l(t_.m);
        rate = std::max(1, t_.speed_limit / std::max(1, t_.open_sockets));
        want = std::min<std::size_t>(want, std::max(512, rate / 8));
      }
      const long n = vnet::Receive(s, buffer_.data(), want, t_.receive_timeout, &t_.stop);
      if (n <= 0) return n == 0 ? Outcome::kFault : Interrupted();
      // Blocks that are already there join this one, for one write.
      std::size_t filled = static_cast<std::size_t>(n);
      bool closed = false;
      while (rate == 0 && filled + block <= buffer_.size() && at_ + static_cast<std::int64_t>(filled) < end_) {
        const long more = vnet::ReceiveNow(s, buffer_.data() + filled, block);
        if (more <= 0) {
          closed = more == 0;
          break;
        }
        filled += static_cast<std::size_t>(more);
      }
      const Outcome o = Take(buffer_.data(), filled);
      if (o != Outcome::kFault) return o;
      if (closed) return Outcome::kFault;
      if (rate > 0) {
        pace_ = std::max(pace_, Clock::now()) + std::chrono::microseconds(static_cast<std::int64_t>(n) * 1000000 / rate);
        Lock l(t_.m);
        if (t_.pause_cv.wait_until(l, pace_, [&] { return t_.stop.load(); })) return Outcome::kStopped;
      }
    }
  }

  // Writes the part of [at_, at_ + size) that the run still lacks. kDone when the run is
  // complete, kFault to read on.
  Outcome Take(const char* data, std::size_t size) {
    std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(size), end_ - at_);
    while (n > 0) {
      std::int64_t offset = 0, count = 0;
      bool complete = false;
      {
        // One lock per block: the claim, clamped to the run's current end, and its event. A
        // run complete at its claim cannot be split any more.
        Lock l(t_.m);
        Run& r = t_.runs[run_];
        const std::int64_t skip = std::clamp<std::int64_t>(r.pos - at_, 0, n);
        data += skip, at_ += skip, n -= skip;
        offset = at_;
        count = std::max<std::int64_t>(0, std::min(n, r.end - at_));
        r.pos = std::max(r.pos, at_ + count);
        complete = r.pos >= r.end;
        if (count > 0) Queue(t_, kEventReceived, id_, static_cast<std::intptr_t>(count));
      }
      if (count > 0) {
        if (!vnet::WriteAt(t_.file, data, static_cast<std::size_t>(count), offset)) {
          Lock l(t_.m);
          t_.failed = true;
          if (t_.write_error_at < 0 || offset < t_.write_error_at) t_.write_error_at = offset;
          t_.stop = true;
          t_.pause_cv.notify_all();
          t_.work_cv.notify_all();
          return Outcome::kFailure;
        }
        t_.done.fetch_add(count, std::memory_order_relaxed);
        data += count, at_ += count, n -= count;
      }
      if (!complete) continue;
      // The run is complete: read on into the next one if nobody holds it.
      Lock l(t_.m);
      const std::int64_t next_start = t_.runs[run_].end;
      int next = -1;
      for (std::size_t i = 0; i < t_.runs.size(); ++i) {
        const Run& o = t_.runs[i];
        if (o.start == next_start && o.owner == 0 && o.pos < o.end) next = static_cast<int>(i);
      }
      if (next < 0 || at_ != next_start || end_ <= next_start || t_.stop) return Outcome::kDone;
      t_.runs[next].owner = id_;
      run_ = next;
      took_over_ = true;
      Queue(t_, kEventSegmentTakenOver, id_, Pos(run_), t_.runs[run_].end);
    }
    return Outcome::kFault;
  }

  std::shared_ptr<Task> task_;
  Task& t_;
  const int id_;
  int run_;
  std::vector<char> buffer_;
  bool took_over_ = false;
  std::int64_t at_ = 0, end_ = 0;  // stream position and end of the body
  Clock::time_point pace_{};
};

void ConnectionMain(std::shared_ptr<Task> task, int id, int run) {
  Connection c(task, id, run);
  c.Main();
}

void TaskMain(std::shared_ptr<Task> task) {
  Task& t = *task;
  {
    Lock l(t.m);
    try {
      t.threads.emplace_back(ConnectionMain, task, 1, -1);
      t.live = 1;
    } catch (...) {
      Finish(t);
    }
  }
  for (bool end = false; !end;) {
    std::deque<Event> batch;
    {
      Lock l(t.m);
      while (!t.urgent && !t.ended) {
        if (t.queue.empty()) {
          t.task_cv.wait(l);
        } else if (t.task_cv.wait_for(l, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
          break;
        }
      }
      batch.swap(t.queue);
      std::fill(t.pending_progress.begin(), t.pending_progress.end(), -1);
      t.urgent = false;
      end = t.ended && t.queue.empty();
    }
    for (const Event& e : batch) Call(t, e, 0);
  }
  std::vector<std::thread> threads;
  {
    Lock l(t.m);
    threads.swap(t.threads);
  }
  for (std::thread& th : threads) th.join();
  // After event 4 the object holds no task any more.
  std::lock_guard<std::mutex> g(g_owners);
  if (Download* d = t.owner) {
    if (d->impl && d->impl->task.get() == &t) {
      delete d->impl;
      d->impl = nullptr;
    }
    t.owner = nullptr;
  }
}

int OrDefault(std::int32_t value, int fallback) { return value > 0 ? value : fallback; }

}  // namespace

Download::Download() = default;
Download::~Download() { Destroy(*this); }

bool AddTask(Download& download, const TaskParam& record) {
  vnet::Url url;
  if (!record.Url || !vnet::ParseUrl(record.Url, url)) return false;
  auto task = std::make_shared<Task>();
  Task& t = *task;
  t.target = url;
  if (record.HttpProxy && *record.HttpProxy) {
    if (!vnet::ParseProxy(record.HttpProxy, t.proxy)) return false;
    t.via_proxy = true;
  }
  if (record.Referer) {
    t.referer = record.Referer;
  } else {
    const std::string address = record.Url;
    t.referer = address.substr(0, address.rfind('/'));
  }
  t.path = record.LocalPath ? record.LocalPath : "";
  t.connections = std::clamp<int>(record.Connections, 1, kMaxConnections);
  t.speed_limit = std::max<int>(record.SpeedLimit, 0);
  t.connect_timeout = OrDefault(record.ConnectTimeout, 20000);
  t.send_timeout = OrDefault(record.SendTimeout, 20000);
  t.receive_timeout = OrDefault(record.ReceiveTimeout, 20000);
  t.stop_wait = std::max<int>(record.StopWait, 0);
  t.receive_block = std::min(OrDefault(record.ReceiveBlock, 20480), 1 << 22);
  t.callback = record.EventCallback;
  t.retry_pause_ms = vnet::g_retry_pause_ms;
  t.max_retries = vnet::g_max_retries;

  std::lock_guard<std::mutex> g(g_owners);
  if (download.impl) return false;
  try {
    std::thread(TaskMain, task).detach();
  } catch (...) {
    return false;
  }
  download.impl = new Download::Impl{task};
  t.owner = &download;
  return true;
}

std::int64_t DoneLength(const Download& download) {
  std::lock_guard<std::mutex> g(g_owners);
  return download.impl ? download.impl->task->done.load(std::memory_order_relaxed) : 0;
}

void Destroy(Download& download) {
  std::shared_ptr<Task> task;
  {
    std::lock_guard<std::mutex> g(g_owners);
    if (!download.impl) return;
    task = download.impl->task;
    delete download.impl;
    download.impl = nullptr;
    task->owner = nullptr;
  }
  Task& t = *task;
  Lock l(t.m);
  t.forgotten = true;
  t.destroyed = true;
  t.stop = true;
  t.pause_cv.notify_all();
  t.work_cv.notify_all();
  // Up to StopWait in 20 ms steps for the connections, and for an event routine
  // running on another thread.
  const auto busy = [&] {
    const auto me = std::this_thread::get_id();
    return t.live > 0 || std::any_of(t.in_callback.begin(), t.in_callback.end(), [&](auto id) { return id != me; });
  };
  for (int step = 0; step < t.stop_wait / 20 && busy(); ++step) t.idle_cv.wait_for(l, std::chrono::milliseconds(20));
}

}  // namespace netxfer
