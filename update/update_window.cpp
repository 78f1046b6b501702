#include "update/update_window.h"

#include <cmath>

#include "app/program.h"
#include "platform/core.h"
#include "platform/netxfer.h"
#include "resources/windows.h"
#include "update/replace.h"
#include "update/version_check.h"
#include "vondrel_config.h"

namespace vondrel {

std::atomic<double> DownloadTotal{0.0};

namespace {

// Set once the end of the download has been handled, by event 4 or by the
// timer giving up, so that the user is told once.
std::atomic<bool> DownloadSettled{false};
// The timer's view of the download (GUI thread only).
std::int64_t LastDone = -1;
int QuietTicks = 0;

}  // namespace

std::string PackageAddress() { return std::string("http://") + VONDREL_SITE_HOST + "/updata/vd.exe"; }

int ProgressPosition(double done, double total) {
  const double r = core::Round(done / total * 100.0, 0);
  if (!std::isfinite(r)) return 0;
  return static_cast<int>(r);
}

void StartUpdateDownload() {
  netxfer::TaskParam& t = *UpdateTask;
  const std::string url = core::Trim(PackageAddress());
  const std::string local = core::CurrentDirectory() + std::string(core::PathSeparator()) + kPackageFile;
  t.Flags = netxfer::kFlagDownload;
  netxfer::SetText(t.Url, url.c_str());
  t.StopWait = 1000;
  t.Connections = 5;
  netxfer::SetText(t.LocalPath, local.c_str());
  t.ConnectTimeout = 5000;
  t.SendTimeout = 5000;
  t.ReceiveTimeout = 10000;
  t.ReceiveBlock = 10240;
  t.EventCallback = &OnDownloadEvent;
  // a leftover package would make the library save under a numbered name
  core::RemoveFile(local);
  DownloadSettled = false;
  LastDone = -1;
  QuietTicks = 0;
  netxfer::AddTask(*UpdateDownload, t);
}

namespace {

// Complete: the size is known, every byte arrived, the file on disk has that
// size and is an executable of this platform.
bool PackageComplete(double done, const std::string& path) {
  const double total = DownloadTotal.load();
  if (total <= 0 || done != total) return false;
  if (static_cast<double>(core::FileSize(path)) != total) return false;
  const std::string_view signature = core::ExecutableSignature();
  return core::ReadFileHead(path, signature.size()) == signature;
}

void ReportFailedDownload(const std::string& path) {
  core::RemoveFile(path);
  core::ShowMessageBox(kFailedMessage, kUpdateNoticeCaption, core::kOk | core::kIconWarning);
  core::DestroyWindow(UpdateWindow);
}

std::string PackagePath() { return UpdateTask->LocalPath ? UpdateTask->LocalPath : ""; }

}  // namespace

std::intptr_t OnDownloadEvent(std::intptr_t type, std::intptr_t /*first*/, std::intptr_t second,
                              std::intptr_t /*third*/, std::intptr_t /*task*/) {
  if (type == netxfer::kEventTotalSize) {
    DownloadTotal.store(static_cast<double>(second));
  } else if (type == netxfer::kEventTaskEnded) {
    if (DownloadSettled.exchange(true)) return 0;  // the timer has given it up already
    const double done = static_cast<double>(netxfer::DoneLength(*UpdateDownload));
    const std::string path = PackagePath();
    if (PackageComplete(done, path)) {
      core::ShowMessageBox(kCompletedMessage, kUpdateNoticeCaption, core::kOk | core::kIconInformation);
      ReplaceAndRestart();
    } else {
      ReportFailedDownload(path);
    }
  }
  return 0;
}

void ShowDownloadProgress() {
  const std::int64_t done = netxfer::DoneLength(*UpdateDownload);
  const double total = DownloadTotal.load();
  core::SetProperty(UpdateWindow, "进度条1", core::kPosition, ProgressPosition(static_cast<double>(done), total));
  // A complete package waits for its message, not for more bytes.
  if (done != LastDone || (total > 0 && static_cast<double>(done) >= total)) {
    LastDone = done;
    QuietTicks = 0;
    return;
  }
  if (++QuietTicks < kStallTicks || DownloadSettled.exchange(true)) return;
  // Stopped and forgotten: the library raises no event 4 for it.
  netxfer::Destroy(*UpdateDownload);
  ReportFailedDownload(PackagePath());
}

void BindUpdateHandlers() {
  core::Bind(UpdateWindow, "", core::Event::kCreated, &StartUpdateDownload);
  core::Bind(UpdateWindow, "时钟", core::Event::kTimer, &ShowDownloadProgress);
  core::BindMenu(MainWindow, item::kHelpUpdate, &OnCheckUpdateMenu);
}

}  // namespace vondrel
