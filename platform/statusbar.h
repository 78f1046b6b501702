// The first extended UI library: the status bar.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace core { struct WindowDef; }

namespace statusbar {

// One part of a status bar; right edges are cumulative, -1 is open-ended.
struct Part {
  int right_edge;
  std::string text;
};

// Sets the text of a part counting from 0; an index beyond the last part does nothing.
void SetText(const core::WindowDef& window, std::string_view control, int part, std::string_view text);
std::string GetText(const core::WindowDef& window, std::string_view control, int part);

}  // namespace statusbar
