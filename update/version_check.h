// The version check: asks the update server for the newest version number.
#pragma once

#include <string>
#include <string_view>

namespace vondrel {

extern float CurrentVersion;
extern float LatestVersion;

inline constexpr float kOwnVersion = 2.1f;

// "http://" + the update server + "/updata/ver.php".
std::string VersionDocumentAddress();
// The version document's bytes as a number (atof over the text up to the
// first zero byte, full-width digits read as ASCII).
float ParseVersionDocument(std::string_view bytes);
std::string UpdatePrompt(float latest);

void CheckForUpdate(bool silent);
void OnCheckUpdateMenu();

}  // namespace vondrel
