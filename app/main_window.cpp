#include "app/main_window.h"

#include "app/program.h"
#include "browser/browser.h"
#include "platform/core.h"
#include "resources/windows.h"

namespace vondrel {

Rect BrowserRect(int client_width, int client_height, int status_height) {
  const double h = static_cast<double>(client_height) - static_cast<double>(status_height) - 1.0;
  return {0, 1, client_width, static_cast<int>(h)};
}

void OnMainWindowResized() {
  const int w = core::ClientWidth(MainWindow);
  const int h = core::ClientHeight(MainWindow);
  const int s = static_cast<int>(core::GetProperty(MainWindow, "状态条1", core::kHeight));
  const Rect r = BrowserRect(w, h, s);
  core::MoveNativeWindow(BrowserWindow, r.left, r.top, r.width, r.height, false);
  core::SetProperty(MainWindow, "分隔条1", core::kWidth, w);
  if (core::GetProperty(MainWindow, "标签2", core::kVisible)) {
    core::SetProperty(MainWindow, "标签2", core::kWidth, r.width);
    core::SetProperty(MainWindow, "标签2", core::kHeight, r.height);
  }
}

void OnExitMenu() { core::DestroyWindow(MainWindow); }

void BindMainWindowHandlers() {
  core::Bind(MainWindow, "", core::Event::kResized, &OnMainWindowResized);
  core::BindMenu(MainWindow, item::kFileExit, &OnExitMenu);
}

}  // namespace vondrel
