// The shell library: hands a target to the system's default action.
#pragma once

#include <string_view>

namespace shell {

enum ShowMode : int { kHide = 0, kShowNormal = 1 };

// The shell's execute: no owner, the given verb (none: the default action
// registered for the target), parameters, working directory, show mode.
// Returns the system's result (> 32 on success on Windows; 1/0 elsewhere).
int Execute(std::string_view target, std::string_view verb = {}, std::string_view parameters = {},
            std::string_view directory = {}, int show = kShowNormal);

}  // namespace shell
