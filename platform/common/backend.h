// What a backend supplies to the shared ActiveX host.
#pragma once

#include <string_view>

#include "platform/core.h"

namespace common {

struct CreatedControl {
  core::Handle window = 0;
  core::ComObject object;
};

// A child window of `parent` titled with the ProgID and the control created
// in it; an empty result when the ProgID is unknown or creation fails.
CreatedControl CreateOcxControl(core::Handle parent, std::string_view prog_id, int x, int y, int width, int height,
                                int border);
// Installs the message hook that offers keys and mouse messages to the control.
int InstallOcxHook();

}  // namespace common
