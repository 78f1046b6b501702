// The window-definition model: a window, its controls and menus as data.
// resources/ holds the three definitions; every backend builds from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/splitter.h"
#include "platform/statusbar.h"
#include "platform/supermenu.h"

namespace core {

using Rgb = supermenu::Rgb;

inline constexpr int kCharsetGb2312 = 134;

struct Font {
  std::string face;   // empty: the system's default GUI font
  int height = 0;     // character height in pixels
  int weight = 400;
  int charset = kCharsetGb2312;
};

enum class Kind {
  kLabel,
  kPictureBox,
  kEditBox,
  kButton,
  kHyperlink,
  kTimer,
  kProgressBar,
  kStatusBar,
  kSplitter,
  kTabControl,
  kSuperMenu,
};

enum class Align { kLeft, kCenter };

struct ControlDef {
  std::string name;
  Kind kind = Kind::kLabel;
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  std::string caption;          // label caption, button text, edit content
  std::optional<Rgb> fore;      // text colour
  std::optional<Rgb> back;      // background; none: the system's button face
  std::optional<Font> font;     // none: the system's default GUI font
  Align align = Align::kLeft;
  bool vcenter = false;         // one line, centred vertically
  bool word_wrap = false;
  bool engraved = false;        // white one pixel right and down, then the text
  // picture box
  std::string picture;          // resource file name ("loading.gif")
  // edit box
  bool multiline = false, read_only = false, hide_selection = true, border = false;
  // push button
  bool default_button = false;
  bool tab_stop = false;
  // hyperlink box
  std::string target;           // shown as the text when there is no caption
  Rgb link_color{0, 0, 255}, visited_color{0, 0, 255}, hover_color{255, 0, 0};
  // timer
  int interval = 0;             // ms
  // progress bar
  int range_min = 0, range_max = 100, position = 0;
  bool segmented = false;
  // status bar
  std::vector<statusbar::Part> parts;
  bool size_grip = false, tooltips = false, docked_bottom = false;
  // splitter bar
  splitter::Style splitter;
  // tab control: its tab captions; controls on a page name it and the tab index
  std::vector<std::string> tabs;
  std::string tab_control;
  int tab_page = -1;
  // super-menu component
  supermenu::Style menu_style;
};

struct MenuItemDef {
  std::string id;    // binding key, unique in the window; empty for a separator
  std::string text;  // "-" for a separator
  bool IsSeparator() const { return text == "-"; }
};

struct MenuDef {
  std::string id;
  std::string text;
  bool visible = true;  // hidden menus (the popup "右键") stay out of the bar
  std::vector<MenuItemDef> items;
};

struct WindowDef {
  std::string name;
  std::string caption;
  int width = 0, height = 0;  // outer size
  bool resizable = false;
  bool control_box = true;    // system menu and close box
  bool min_box = false, max_box = false;
  bool icon = false;          // carries the product icon
  bool taskbar = true;
  std::optional<Rgb> back;    // none: the system's button face
  Font font;                  // the window font
  std::vector<ControlDef> controls;  // stacking order: the first on top
  std::vector<MenuDef> menus;

  const ControlDef* Find(std::string_view control) const;
  const MenuDef* FindMenu(std::string_view id) const;
  const MenuItemDef* FindItem(std::string_view id) const;
};

// Where a window of the outer size (width, height) is centred on the screen:
// a signed division that truncates toward zero.
struct Point {
  int x, y;
};
Point CenteredOrigin(int screen_width, int screen_height, int width, int height);

}  // namespace core
