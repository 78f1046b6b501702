// The third extended UI library: the advanced tab control.
#pragma once

#include <string>
#include <string_view>

namespace core { struct WindowDef; }

namespace tabs {

// The control raises core::Event::kTabChanged after the current tab moved to
// another tab; not when the current tab is chosen again.
int CurrentTab(const core::WindowDef& window, std::string_view control);

}  // namespace tabs
