#include "update/version_check.h"

#include "browser/browser.h"
#include "platform/core.h"
#include "platform/internet.h"
#include "resources/windows.h"
#include "vondrel_config.h"

namespace vondrel {

float CurrentVersion = 0;
float LatestVersion = 0;

std::string VersionDocumentAddress() { return std::string("http://") + VONDREL_SITE_HOST + "/updata/ver.php"; }

float ParseVersionDocument(std::string_view bytes) { return core::TextToFloat(core::BytesToText(bytes)); }

std::string UpdatePrompt(float latest) { return "Vondrel有最新版本" + core::FloatToText(latest) + "，是否要更新？"; }

void CheckForUpdate(bool silent) {
  CurrentVersion = kOwnVersion;
  LatestVersion = ParseVersionDocument(internet::ReadFile(VersionDocumentAddress()));
  if (LatestVersion > CurrentVersion) {
    const int answer = core::ShowMessageBox(UpdatePrompt(LatestVersion), "软件更新", core::kOkCancel | core::kIconQuestion);
    if (answer != core::kAnswerCancel) core::LoadWindow(UpdateWindow, nullptr, true);
  } else if (!silent) {
    core::ShowMessageBox("无可用更新。", "软件更新", core::kOk | core::kIconInformation);
  }
}

void OnCheckUpdateMenu() {
  if (!CheckConnection()) return;
  CheckForUpdate(false);
}

}  // namespace vondrel
