// The update window: fills the task record, starts the download, shows its
// progress, and hands a complete package to the replace step.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace vondrel {

// The package's total size in bytes; 0 until the library announces it.
extern std::atomic<double> DownloadTotal;

inline constexpr const char* kCompletedMessage = "升级完成，点击确认按钮程序重新启动。";
inline constexpr const char* kFailedMessage = "升级失败，请稍后重试。";
inline constexpr const char* kUpdateNoticeCaption = "软件更新提示";

// Ticks of the progress timer (seconds) without a new byte after which the
// download is given up: the library would go on retrying an unreachable
// server for more than an hour.
inline constexpr int kStallTicks = 30;

// "http://" + the update server + "/updata/vd.exe".
std::string PackageAddress();
// The progress bar's position for `done` of `total` bytes; 0 while the total is unknown.
int ProgressPosition(double done, double total);

void StartUpdateDownload();
std::intptr_t OnDownloadEvent(std::intptr_t type, std::intptr_t first, std::intptr_t second, std::intptr_t third,
                              std::intptr_t task);
void ShowDownloadProgress();

}  // namespace vondrel
