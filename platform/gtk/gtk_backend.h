// The GTK backend's shared state and the helpers its files use.
//
//   window.cpp    core.h: start-up, loop, exit, windows, properties, menus,
//                 popup menu; statusbar.h, tabs.h
//   controls.cpp  the controls of a window definition as GTK widgets
//   dialogs.cpp   core.h: message boxes (from any thread)
//   browser.cpp   common/backend.h: "Shell.Explorer.2" on WebKitWebView
//   system.cpp    core.h: files and processes; shell.h
//   main.cpp      the program's entry
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/windef.h"
#include "platform/core.h"

extern "C" {
extern const unsigned char vondrel_loading_gif[];
extern const size_t vondrel_loading_gif_size;
extern const unsigned char vondrel_icon_png[];
extern const size_t vondrel_icon_png_size;
}

namespace gtkb {

struct Window;

// A place in the client area; children of a window's stage are laid out by it.
struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};

struct Control {
  const core::ControlDef* def = nullptr;
  Window* window = nullptr;
  GtkWidget* widget = nullptr;  // the child of the stage; null for timers and the menu component
  GtkWidget* inner = nullptr;   // the text view, the notebook, the label of a button
  Rect rect;
  bool visible = true, disabled = false;
  std::int64_t tag = 0, position = 0;
  std::string caption;
  std::vector<std::string> parts;        // status bar texts
  std::vector<GtkWidget*> part_labels;
  guint timer = 0;
  int current_tab = 0;
  bool hover = false;
};

// A native child window of a stage (the browser's host window).
struct Native {
  GtkWidget* widget = nullptr;
  Rect rect;
};

struct Window {
  const core::WindowDef* def = nullptr;
  GtkWidget* toplevel = nullptr;
  GtkWidget* menubar = nullptr;
  GtkWidget* stage = nullptr;       // GtkOverlay: the client area
  GtkWidget* background = nullptr;  // its main child
  int client_width = 0, client_height = 0;
  bool modal = false, shown = false, destroying = false;
  std::map<std::string, std::unique_ptr<Control>> controls;
  std::vector<Control*> order;  // definition order: the first on top
};

struct State {
  GThread* gui = nullptr;
  std::map<const core::WindowDef*, std::unique_ptr<Window>> windows;
  std::map<core::Handle, Native> natives;
  core::Handler exit_routine = nullptr;
  bool exiting = false;
  GMainLoop* loop = nullptr;
  std::string run_directory, executable_name;
};

State& S();
bool OnGuiThread();
// Runs `fn` on the GUI thread; from another thread it waits for it.
void RunOnGui(std::function<void()> fn);

Window* FindWindow(const core::WindowDef& def);
Control* FindControl(const core::WindowDef& def, std::string_view name);
Window* WindowOfStage(GtkWidget* stage);

// controls.cpp
void BuildControl(Control& c);
void ApplyVisibility(Control& c);
void ApplyCaption(Control& c);
void ApplyStatusTexts(Control& c);
int StatusBarHeight(Control& c);
std::string MnemonicText(std::string_view text);  // "&F" -> "_F"
void AddCss(GtkWidget* widget, const std::string& css);
std::string FontCss(const core::Font* font);
std::string RgbCss(const core::Rgb& c);
PangoFontDescription* FontDescription(const core::Font* font);
void RunExitRoutine();
void StartTimers(Window& w);

// dialogs.cpp
int RunMessageBox(std::string_view text, std::string_view caption, int flags, bool modal);

// window.cpp: stacks a native child under every control of the stage.
void AddNative(GtkWidget* stage, GtkWidget* child, Rect rect);

}  // namespace gtkb
