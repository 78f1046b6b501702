// vondrel-fetch [--connections N] [--retry-pause-ms MS] [--max-retries N] URL FILE
//
// Runs one download task with the update's record values and exits 0 only
// when FILE is complete; otherwise prints one line with the reason.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/common/net/options.h"
#include "platform/netxfer.h"

namespace {

std::mutex g_mutex;
std::condition_variable g_ended_cv;
bool g_ended = false;
std::atomic<std::int64_t> g_total{-1};
std::atomic<int> g_failed_connections{0};
netxfer::Download* g_download = nullptr;
std::int64_t g_done = 0;  // at event 4

std::intptr_t OnEvent(std::intptr_t type, std::intptr_t, std::intptr_t second, std::intptr_t, std::intptr_t) {
  if (type == netxfer::kEventTotalSize) g_total = second;
  if (type == netxfer::kEventConnFailed) ++g_failed_connections;
  if (type == netxfer::kEventTaskEnded) {
    const std::int64_t done = netxfer::DoneLength(*g_download);
    std::lock_guard<std::mutex> l(g_mutex);
    g_done = done;
    g_ended = true;
    g_ended_cv.notify_all();
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: vondrel-fetch [--connections N] [--retry-pause-ms MS] [--max-retries N] URL FILE\n");
  return 2;
}

bool Number(const char* text, int& out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 1000000000) return false;
  out = static_cast<int>(v);
  return true;
}

std::int64_t FileSize(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

void ShowProgress(std::int64_t done, std::int64_t total, double seconds) {
  constexpr int kWidth = 40;
  const double part = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
  const int filled = static_cast<int>(part * kWidth);
  char bar[kWidth + 1];
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = 0;
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1048576.0 : 0.0;
  std::fprintf(stderr, "\r[%s] %3d%%  %.1f MiB  %.1f MiB/s ", bar, static_cast<int>(part * 100),
               static_cast<double>(done) / 1048576.0, rate);
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  int connections = 5, pause_ms = vnet::kDefaultRetryPauseMs, max_retries = vnet::kDefaultMaxRetries;
  int i = 1;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    int* target = std::strcmp(argv[i], "--connections") == 0      ? &connections
                  : std::strcmp(argv[i], "--retry-pause-ms") == 0 ? &pause_ms
                  : std::strcmp(argv[i], "--max-retries") == 0    ? &max_retries
                                                                  : nullptr;
    if (!target || !Number(argv[i + 1], *target)) return Usage();
  }
  if (argc - i != 2 || connections < 1) return Usage();
  const std::string url = argv[i], path = argv[i + 1];

  vnet::SetRetryPolicy(pause_ms, max_retries);
  // A leftover would make the task save under a numbered name; anything but a
  // plain file (a device, a folder) is left alone and refused.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      std::fprintf(stderr, "vondrel-fetch: FILE exists and is not a plain file: %s\n", path.c_str());
      return 2;
    }
    std::remove(path.c_str());
  }

  netxfer::TaskParam task;
  std::memset(&task, 0, sizeof task);
  netxfer::SetStartupDefaults(task);
  task.Flags = netxfer::kFlagDownload;
  netxfer::SetText(task.Url, url.c_str());
  netxfer::SetText(task.LocalPath, path.c_str());
  task.Connections = connections;
  task.ConnectTimeout = 5000;
  task.SendTimeout = 5000;
  task.ReceiveTimeout = 10000;
  task.ReceiveBlock = 10240;
  task.StopWait = 1000;
  task.EventCallback = &OnEvent;

  netxfer::Download download;
  g_download = &download;
  if (!netxfer::AddTask(download, task)) {
    std::fprintf(stderr, "vondrel-fetch: the address is not an http address with a host: %s\n", url.c_str());
    netxfer::FreeTexts(task);
    return 2;
  }
  const bool terminal = isatty(STDERR_FILENO);
  const auto started = std::chrono::steady_clock::now();
  std::int64_t done = 0;
  {
    std::unique_lock<std::mutex> l(g_mutex);
    while (!g_ended) {
      g_ended_cv.wait_for(l, std::chrono::milliseconds(200));
      if (terminal && !g_ended) {
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ShowProgress(netxfer::DoneLength(download), g_total, s);
      }
    }
    done = g_done;
  }
  const std::int64_t total = g_total;
  if (terminal) {
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ShowProgress(done, total, s);
    std::fputc('\n', stderr);
  }
  netxfer::Destroy(download);
  netxfer::FreeTexts(task);

  const std::int64_t size = FileSize(path);
  if (total < 0) {
    std::fprintf(stderr, "vondrel-fetch: failed: the server gave no size (unreachable, an error status or no Content-Length)\n");
    return 1;
  }
  if (size != total || done != total) {
    std::fprintf(stderr, "vondrel-fetch: failed: %lld of %lld bytes on disk after %d failed connection(s)\n",
                 static_cast<long long>(size < 0 ? 0 : size), static_cast<long long>(total),
                 g_failed_connections.load());
    return 1;
  }
  return 0;
}
