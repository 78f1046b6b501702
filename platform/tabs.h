// The third extended UI library: the advanced tab control.
#pragma once

#include <string>
#include <string_view>

namespace core { struct WindowDef; }

namespace tabs {

// Event 0 of the control (core::Event::kTabChanged): fired after the current
// tab moved to another tab; not fired when the current tab is chosen again.
inline constexpr int kEventChanged = 0;

int CurrentTab(const core::WindowDef& window, std::string_view control);

}  // namespace tabs
