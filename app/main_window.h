// The main window: the browser's place, the resize rule and the exit item.
#pragma once

namespace vondrel {

struct Rect {
  int left, top, width, height;
};

// Below the separator line and above the status bar: (0, 1, W, H - S - 1),
// computed in double precision and truncated toward zero.
Rect BrowserRect(int client_width, int client_height, int status_height);

void OnMainWindowResized();
void OnExitMenu();

}  // namespace vondrel
