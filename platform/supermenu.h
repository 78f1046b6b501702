// The super-menu library: the component that draws a window's menus
// owner-drawn in its own colours and font.
#pragma once

#include <cstdint>
#include <string>

namespace supermenu {

struct Rgb {
  std::uint8_t r, g, b;
};

struct Style {
  int preset = 2;
  Rgb bar_background{240, 240, 240};
  Rgb menu_background{249, 248, 247};
  Rgb strip_from{249, 248, 247};  // left strip and an opened bar item: gradient
  Rgb strip_to{215, 212, 204};
  Rgb bar_hot{182, 189, 210};     // bar item under the mouse
  Rgb item_highlight{182, 189, 210};
  int highlight_alpha = 220;      // of 255, over the menu background
  Rgb frame{10, 36, 106};
  Rgb text{0, 0, 0};
  Rgb disabled_text{141, 141, 141};
  Rgb separator{166, 166, 166};
  std::string font_face = "微软雅黑";
  int font_height = 12;  // pixels
  int font_weight = 400;
};

}  // namespace supermenu
