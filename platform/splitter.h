// The second extended UI library: the splitter bar.
#pragma once

namespace splitter {

enum class Orientation { kHorizontal, kVertical };

// How a splitter bar looks and behaves.
struct Style {
  Orientation orientation = Orientation::kHorizontal;
  bool raised_edge = true;    // highlight at top/left, shadow at bottom/right
  bool tracking_line = true;  // dragging draws a line and leaves the bar in place
};

}  // namespace splitter
