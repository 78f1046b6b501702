// The core library on GTK: start-up, the loop, exit, windows loaded from
// their definitions, control properties, menus and the popup menu; the
// status bar's texts and the tab control's current tab.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <condition_variable>

#include "platform/common/dispatch.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/statusbar.h"
#include "platform/supermenu.h"
#include "platform/tabs.h"

namespace gtkb {

State& S() {
  static State s;
  return s;
}

bool OnGuiThread() { return S().gui == nullptr || g_thread_self() == S().gui; }

namespace {

struct Invocation {
  std::function<void()> fn;
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
};

gboolean RunInvocation(gpointer data) {
  auto* inv = static_cast<Invocation*>(data);
  inv->fn();
  {
    std::lock_guard<std::mutex> l(inv->mutex);
    inv->done = true;
  }
  inv->done_cv.notify_all();
  return G_SOURCE_REMOVE;
}

}  // namespace

void RunOnGui(std::function<void()> fn) {
  if (OnGuiThread()) {
    fn();
    return;
  }
  Invocation inv;
  inv.fn = std::move(fn);
  g_main_context_invoke(nullptr, RunInvocation, &inv);
  std::unique_lock<std::mutex> l(inv.mutex);
  inv.done_cv.wait(l, [&] { return inv.done; });
}

Window* FindWindow(const core::WindowDef& def) {
  auto it = S().windows.find(&def);
  return it == S().windows.end() || it->second->destroying ? nullptr : it->second.get();
}

Control* FindControl(const core::WindowDef& def, std::string_view name) {
  Window* w = FindWindow(def);
  if (!w) return nullptr;
  auto it = w->controls.find(std::string(name));
  return it == w->controls.end() ? nullptr : it->second.get();
}

Window* WindowOfStage(GtkWidget* stage) {
  for (auto& [def, w] : S().windows)
    if (w->stage == stage && !w->destroying) return w.get();
  return nullptr;
}

void RunExitRoutine() {
  core::Handler routine = S().exit_routine;
  S().exit_routine = nullptr;  // forgotten once called
  if (routine) routine();
}

namespace {

constexpr core::Rgb kButtonFace{240, 240, 240};

// The menus in the colours and font of the menu-drawing component.
std::string MenuCss(const supermenu::Style& m) {
  const std::string font = "font-family: \"" + m.font_face + "\"; font-size: " + std::to_string(m.font_height) +
                           "px; font-weight: " + std::to_string(m.font_weight) + ";";
  const std::string hot = RgbCss(m.bar_hot), frame = RgbCss(m.frame), text = RgbCss(m.text);
  const double alpha = m.highlight_alpha / 255.0;
  char highlight[64];
  std::snprintf(highlight, sizeof highlight, "rgba(%d,%d,%d,%.3f)", m.item_highlight.r, m.item_highlight.g,
                m.item_highlight.b, alpha);
  return "menubar { background: " + RgbCss(m.bar_background) + "; box-shadow: none; border: none; padding: 0; " + font +
         " }\n"
         "menubar > menuitem { color: " + text + "; padding: 3px 8px; border: 1px solid transparent; " + font + " }\n"
         "menubar > menuitem:hover { background: " + hot + "; border: 1px solid " + frame + "; box-shadow: none;"
         " color: " + text + "; }\n"
         "menubar > menuitem:hover:active, menubar > menuitem:hover:checked { background-image: linear-gradient("
         "to bottom, " + RgbCss(m.strip_from) + ", " + RgbCss(m.strip_to) + "); }\n"
         "menu, .menu, .context-menu { background-color: " + RgbCss(m.menu_background) +
         "; background-image: linear-gradient(to right, " + RgbCss(m.strip_from) + ", " + RgbCss(m.strip_to) +
         "); background-size: 24px 100%; background-repeat: no-repeat; border: 1px solid " + RgbCss(m.separator) +
         "; padding: 2px; " + font + " }\n"
         "menu menuitem { color: " + text + "; padding: 3px 20px 3px 30px; border: 1px solid transparent; min-height: 18px; " +
         font + " }\n"
         "menu menuitem label { color: " + text + "; }\n"
         "menu menuitem:hover { background-color: " + highlight + "; border: 1px solid " + frame + "; }\n"
         "menu menuitem:hover label { color: " + text + "; }\n"
         "menu menuitem:disabled label { color: " + RgbCss(m.disabled_text) + "; }\n"
         "menu separator { background-color: " + RgbCss(m.separator) + "; min-height: 1px; margin: 3px 2px 3px 30px; }\n";
}

void LoadScreenCss() {
  static bool done = false;
  if (done) return;
  done = true;
  GtkCssProvider* p = gtk_css_provider_new();
  const std::string css = MenuCss(supermenu::Style{}) +
                          "window.vondrel, .vondrel-stage { background-color: " + RgbCss(kButtonFace) + "; }\n"
                          "messagedialog, messagedialog * { font-family: Sans; font-size: 12px; }\n";
  gtk_css_provider_load_from_data(p, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(p),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(p);
}

GdkPixbuf* Icon() {
  static GdkPixbuf* icon = [] {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    gdk_pixbuf_loader_write(loader, vondrel_icon_png, vondrel_icon_png_size, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* p = gdk_pixbuf_loader_get_pixbuf(loader);
    if (p) g_object_ref(p);
    g_object_unref(loader);
    return p;
  }();
  return icon;
}

GdkRectangle Screen() {
  GdkRectangle r{0, 0, 1024, 768};
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return r;
  GdkMonitor* m = gdk_display_get_primary_monitor(display);
  if (!m && gdk_display_get_n_monitors(display) > 0) m = gdk_display_get_monitor(display, 0);
  if (m) gdk_monitor_get_geometry(m, &r);
  return r;
}

// ---- the stage: places its children ----------------------------------------

Rect PlaceOf(Window& w, GtkWidget* child, int width, int height) {
  if (auto* c = static_cast<Control*>(g_object_get_data(G_OBJECT(child), "vondrel-control"))) {
    if (c->def->kind == core::Kind::kStatusBar && c->def->docked_bottom) {
      const int h = StatusBarHeight(*c);
      c->rect = {0, height - h, width, h};
      return c->rect;
    }
    Rect r = c->rect;
    if (!c->def->tab_control.empty()) {
      auto it = w.controls.find(c->def->tab_control);
      if (it != w.controls.end()) r.left += it->second->rect.left, r.top += it->second->rect.top;
    }
    if (c->def->kind == core::Kind::kHyperlink) {
      // a target wider than the box shows whole from the box's left edge
      PangoLayout* layout = gtk_widget_create_pango_layout(child, c->caption.empty() ? c->def->target.c_str()
                                                                                     : c->caption.c_str());
      PangoFontDescription* desc = FontDescription(nullptr);
      pango_layout_set_font_description(layout, desc);
      pango_font_description_free(desc);
      int lw = 0, lh = 0;
      pango_layout_get_pixel_size(layout, &lw, &lh);
      g_object_unref(layout);
      r.width = std::max(r.width, lw + 1);
    }
    return r;
  }
  for (auto& [handle, n] : S().natives)
    if (n.widget == child) return n.rect;
  return {0, 0, width, height};
}

gboolean ChildPosition(GtkOverlay* overlay, GtkWidget* child, GdkRectangle* out, gpointer) {
  Window* w = WindowOfStage(GTK_WIDGET(overlay));
  if (!w) return FALSE;
  GtkAllocation a;
  gtk_widget_get_allocation(GTK_WIDGET(overlay), &a);
  const Rect r = PlaceOf(*w, child, a.width, a.height);
  out->x = r.left;
  out->y = r.top;
  out->width = std::max(0, r.width);
  out->height = std::max(0, r.height);
  return TRUE;
}

gboolean RaiseResized(gpointer data) {
  auto* def = static_cast<const core::WindowDef*>(data);
  if (FindWindow(*def)) common::Raise(*def, "", core::Event::kResized);
  return G_SOURCE_REMOVE;
}

void StageAllocated(GtkWidget* stage, GdkRectangle* a, gpointer) {
  Window* w = WindowOfStage(stage);
  if (!w || !w->shown) return;
  if (a->width == w->client_width && a->height == w->client_height) return;
  w->client_width = a->width;
  w->client_height = a->height;
  // the status bar is docked in this allocation; the handler runs after it
  g_idle_add_full(G_PRIORITY_HIGH_IDLE, RaiseResized, const_cast<core::WindowDef*>(w->def), nullptr);
}

// Rebuilds the stage's children: native windows at the bottom, then the
// controls from the last to the first, so the first lies on top.
void Restack(Window& w) {
  GtkContainer* stage = GTK_CONTAINER(w.stage);
  std::vector<GtkWidget*> wanted;
  for (auto& [handle, n] : S().natives)
    if (gtk_widget_get_parent(n.widget) == w.stage || g_object_get_data(G_OBJECT(n.widget), "vondrel-stage") == w.stage)
      wanted.push_back(n.widget);
  for (auto it = w.order.rbegin(); it != w.order.rend(); ++it)
    if ((*it)->widget) wanted.push_back((*it)->widget);
  for (GtkWidget* child : wanted) {
    g_object_ref(child);
    if (gtk_widget_get_parent(child)) gtk_container_remove(stage, child);
  }
  for (GtkWidget* child : wanted) {
    gtk_overlay_add_overlay(GTK_OVERLAY(w.stage), child);
    g_object_unref(child);
  }
}

void DestroyNow(const core::WindowDef& def) {
  auto it = S().windows.find(&def);
  if (it == S().windows.end()) return;
  std::unique_ptr<Window> w = std::move(it->second);
  S().windows.erase(it);
  w->destroying = true;
  for (Control* c : w->order)
    if (c->timer) g_source_remove(c->timer), c->timer = 0;
  for (auto n = S().natives.begin(); n != S().natives.end();) {
    if (g_object_get_data(G_OBJECT(n->second.widget), "vondrel-stage") == w->stage)
      n = S().natives.erase(n);
    else
      ++n;
  }
  if (w->modal)
    for (auto& [d, other] : S().windows) gtk_widget_set_sensitive(other->toplevel, TRUE);
  gtk_widget_destroy(w->toplevel);
  if (S().windows.empty() && S().loop) g_main_loop_quit(S().loop);
}

gboolean DestroyQueued(gpointer data) {
  DestroyNow(*static_cast<const core::WindowDef*>(data));
  return G_SOURCE_REMOVE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  core::DestroyWindow(*static_cast<const core::WindowDef*>(data));
  return TRUE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* e, gpointer data) {
  const auto mods = e->state & (GDK_CONTROL_MASK | GDK_SHIFT_MASK | GDK_MOD1_MASK);
  if (e->keyval == GDK_KEY_Escape && mods == 0) {
    core::DestroyWindow(*static_cast<const core::WindowDef*>(data));
    return TRUE;
  }
  return FALSE;
}

struct MenuCommand {
  const core::WindowDef* def;
  std::string id;
};

gboolean RunMenuCommand(gpointer data) {
  std::unique_ptr<MenuCommand> c(static_cast<MenuCommand*>(data));
  if (FindWindow(*c->def)) common::RaiseMenu(*c->def, c->id);
  return G_SOURCE_REMOVE;
}

// The command arrives from the loop once the menu has closed, as a posted
// command does, not from inside whatever activated the item.
void MenuActivated(GtkMenuItem* item, gpointer data) {
  auto* c = new MenuCommand{static_cast<const core::WindowDef*>(data),
                            static_cast<const char*>(g_object_get_data(G_OBJECT(item), "vondrel-item"))};
  g_idle_add(RunMenuCommand, c);
}

GtkWidget* BuildMenu(const core::WindowDef& def, const core::MenuDef& menu, GCallback activated, gpointer data) {
  GtkWidget* m = gtk_menu_new();
  for (const core::MenuItemDef& i : menu.items) {
    GtkWidget* item = i.IsSeparator() ? gtk_separator_menu_item_new()
                                      : gtk_menu_item_new_with_mnemonic(MnemonicText(i.text).c_str());
    if (!i.IsSeparator()) {
      g_object_set_data_full(G_OBJECT(item), "vondrel-item", g_strdup(i.id.c_str()), g_free);
      g_signal_connect(item, "activate", activated, data ? data : const_cast<core::WindowDef*>(&def));
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(m), item);
  }
  gtk_widget_show_all(m);
  return m;
}

// With a window manager the outer size counts its frame: once the frame is
// known, the window is made that much smaller and centred again.
gboolean FitFrame(gpointer data) {
  auto* def = static_cast<const core::WindowDef*>(data);
  Window* w = FindWindow(*def);
  if (!w) return G_SOURCE_REMOVE;
  GdkWindow* g = gtk_widget_get_window(w->toplevel);
  if (!g) return G_SOURCE_REMOVE;
  GdkRectangle frame;
  gdk_window_get_frame_extents(g, &frame);
  const int fw = frame.width - gdk_window_get_width(g), fh = frame.height - gdk_window_get_height(g);
  if (fw > 0 || fh > 0) {
    const GdkRectangle screen = Screen();
    const core::Point at = core::CenteredOrigin(screen.width, screen.height, def->width, def->height);
    if (def->resizable) {
      gtk_window_resize(GTK_WINDOW(w->toplevel), def->width - fw, def->height - fh);
    } else {
      int bar_h = 0, min = 0;
      if (w->menubar) gtk_widget_get_preferred_height(w->menubar, &min, &bar_h);
      gtk_widget_set_size_request(w->background, std::max(0, def->width - fw),
                                  std::max(0, def->height - fh - bar_h));
    }
    gtk_window_move(GTK_WINDOW(w->toplevel), screen.x + at.x, screen.y + at.y);
  }
  return G_SOURCE_REMOVE;
}

// What the window manager offers in the title bar: the boxes the definition asks for.
void OnRealized(GtkWidget* top, gpointer data) {
  auto* def = static_cast<const core::WindowDef*>(data);
  int functions = GDK_FUNC_MOVE, decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
  if (def->resizable) functions |= GDK_FUNC_RESIZE, decorations |= GDK_DECOR_RESIZEH;
  if (def->control_box) functions |= GDK_FUNC_CLOSE, decorations |= GDK_DECOR_MENU;
  if (def->min_box) functions |= GDK_FUNC_MINIMIZE, decorations |= GDK_DECOR_MINIMIZE;
  if (def->max_box) functions |= GDK_FUNC_MAXIMIZE, decorations |= GDK_DECOR_MAXIMIZE;
  GdkWindow* g = gtk_widget_get_window(top);
  gdk_window_set_functions(g, static_cast<GdkWMFunction>(functions));
  gdk_window_set_decorations(g, static_cast<GdkWMDecoration>(decorations));
}

gboolean OnMapped(GtkWidget*, GdkEvent*, gpointer data) {
  g_timeout_add(150, FitFrame, data);
  return FALSE;
}

void FatalStartWindow() {
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_NONE, "%s",
                                          "无法创建程序的窗口。");
  gtk_dialog_add_button(GTK_DIALOG(box), "确定", GTK_RESPONSE_OK);
  gtk_window_set_title(GTK_WINDOW(box), "Vondrel");
  gtk_dialog_run(GTK_DIALOG(box));
  std::fflush(nullptr);
  _exit(-1);
}

}  // namespace

void AddNative(GtkWidget* stage, GtkWidget* child, Rect rect) {
  Window* w = WindowOfStage(stage);
  if (!w) return;
  g_object_set_data(G_OBJECT(child), "vondrel-stage", stage);
  S().natives[reinterpret_cast<core::Handle>(child)] = Native{child, rect};
  gtk_widget_show(child);
  Restack(*w);
}

}  // namespace gtkb

// ---- core.h -------------------------------------------------------------------

namespace core {

using gtkb::S;

void Initialize() {
  auto& s = S();
  if (!s.gui) {
    if (!gtk_init_check(nullptr, nullptr)) {
      std::fprintf(stderr, "vondrel: cannot open the display (is DISPLAY set?)\n");
      std::fflush(nullptr);
      _exit(-1);
    }
    s.gui = g_thread_self();
  }
  gtkb::LoadScreenCss();
  if (!s.run_directory.empty() && chdir(s.run_directory.c_str()) != 0)
    std::fprintf(stderr, "vondrel: cannot enter %s\n", s.run_directory.c_str());
}

void SetExitRoutine(Handler routine) { S().exit_routine = routine; }

void RunMessageLoop() {
  if (S().windows.empty()) return;
  GMainLoop* outer = S().loop;
  S().loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(S().loop);
  g_main_loop_unref(S().loop);
  S().loop = outer;
}

namespace {
gboolean ExitOnGui(gpointer data) {
  const int code = GPOINTER_TO_INT(data);
  if (!S().exiting) {
    S().exiting = true;
    gtkb::RunExitRoutine();
    std::fflush(nullptr);
    _exit(code);
  }
  return G_SOURCE_REMOVE;
}
}  // namespace

void Exit(int code) {
  if (gtkb::OnGuiThread()) {
    ExitOnGui(GINT_TO_POINTER(code));
    return;
  }
  g_main_context_invoke(nullptr, ExitOnGui, GINT_TO_POINTER(code));
  for (;;) pause();  // the GUI thread ends the process
}

bool LoadWindow(const WindowDef& def, const WindowDef* /*parent*/, bool dialog) {
  using namespace gtkb;
  if (!OnGuiThread()) {
    bool ok = false;
    RunOnGui([&] { ok = LoadWindow(def, nullptr, dialog); });
    return ok;
  }
  if (FindWindow(def)) return true;
  const bool first = S().windows.empty();
  if (def.width <= 0 || def.height <= 0 || !S().gui) {
    if (first) FatalStartWindow();
    return false;
  }
  auto owned = std::make_unique<Window>();
  Window& w = *owned;
  w.def = &def;
  w.modal = dialog;
  w.toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* top = GTK_WINDOW(w.toplevel);
  gtk_style_context_add_class(gtk_widget_get_style_context(w.toplevel), "vondrel");
  gtk_window_set_title(top, def.caption.c_str());
  gtk_window_set_resizable(top, def.resizable);
  gtk_window_set_deletable(top, def.control_box);
  gtk_window_set_skip_taskbar_hint(top, !def.taskbar);
  if (!def.min_box && !def.max_box) gtk_window_set_type_hint(top, GDK_WINDOW_TYPE_HINT_DIALOG);
  if (def.icon && Icon()) gtk_window_set_icon(top, Icon());

  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_container_add(GTK_CONTAINER(w.toplevel), box);
  bool has_bar = false;
  for (const MenuDef& m : def.menus) has_bar = has_bar || m.visible;
  if (has_bar) {
    w.menubar = gtk_menu_bar_new();
    for (const MenuDef& m : def.menus) {
      if (!m.visible) continue;  // hidden menus are popups only
      GtkWidget* top_item = gtk_menu_item_new_with_mnemonic(MnemonicText(m.text).c_str());
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(top_item),
                                BuildMenu(def, m, G_CALLBACK(MenuActivated), const_cast<WindowDef*>(&def)));
      gtk_menu_shell_append(GTK_MENU_SHELL(w.menubar), top_item);
    }
    gtk_box_pack_start(GTK_BOX(box), w.menubar, FALSE, FALSE, 0);
  }
  w.stage = gtk_overlay_new();
  w.background = gtk_event_box_new();
  gtk_style_context_add_class(gtk_widget_get_style_context(w.background), "vondrel-stage");
  if (def.back) AddCss(w.background, "* { background-color: " + RgbCss(*def.back) + "; }");
  gtk_container_add(GTK_CONTAINER(w.stage), w.background);
  gtk_box_pack_start(GTK_BOX(box), w.stage, TRUE, TRUE, 0);
  g_signal_connect(w.stage, "get-child-position", G_CALLBACK(ChildPosition), nullptr);
  g_signal_connect_after(w.stage, "size-allocate", G_CALLBACK(StageAllocated), nullptr);
  g_signal_connect(w.toplevel, "delete-event", G_CALLBACK(OnDelete), const_cast<WindowDef*>(&def));
  g_signal_connect(w.toplevel, "key-press-event", G_CALLBACK(OnKey), const_cast<WindowDef*>(&def));
  g_signal_connect(w.toplevel, "map-event", G_CALLBACK(OnMapped), const_cast<WindowDef*>(&def));
  g_signal_connect(w.toplevel, "map", G_CALLBACK(OnRealized), const_cast<WindowDef*>(&def));

  // the controls, held back from the program until the window is complete
  for (const ControlDef& cd : def.controls) {
    auto c = std::make_unique<Control>();
    c->def = &cd;
    c->window = &w;
    c->rect = {cd.left, cd.top, cd.width, cd.height};
    c->visible = cd.visible;
    c->caption = cd.caption;
    c->position = cd.position;
    for (const statusbar::Part& p : cd.parts) c->parts.push_back(p.text);
    w.order.push_back(c.get());
    w.controls[cd.name] = std::move(c);
  }
  for (Control* c : w.order) BuildControl(*c);
  for (Control* c : w.order)
    if (c->widget) ApplyCaption(*c);
  S().windows[&def] = std::move(owned);
  Restack(w);
  gtk_widget_show_all(box);
  for (Control* c : w.order) ApplyVisibility(*c);

  // The client area before the window is shown: without a window manager
  // the window itself has the outer size.
  int bar_h = 0;
  if (w.menubar) {
    int min = 0;
    gtk_widget_get_preferred_height(w.menubar, &min, &bar_h);
  }
  w.client_width = def.width;
  w.client_height = std::max(0, def.height - bar_h);
  if (def.resizable)
    gtk_window_set_default_size(top, def.width, def.height);
  else
    gtk_widget_set_size_request(w.background, w.client_width, w.client_height);
  for (Control* c : w.order)
    if (c->def->kind == Kind::kStatusBar && c->def->docked_bottom) {
      const int h = StatusBarHeight(*c);
      c->rect = {0, w.client_height - h, w.client_width, h};
    }
  if (dialog)
    for (auto& [d, other] : S().windows)
      if (d != &def) gtk_widget_set_sensitive(other->toplevel, FALSE);

  common::Raise(def, "", Event::kCreated);
  if (!FindWindow(def)) return true;
  common::Raise(def, "", Event::kMoved);
  if (!FindWindow(def)) return true;
  common::Raise(def, "", Event::kResized);
  if (!FindWindow(def)) return true;

  const GdkRectangle screen = Screen();
  const Point at = CenteredOrigin(screen.width, screen.height, def.width, def.height);
  gtk_window_move(top, screen.x + at.x, screen.y + at.y);
  for (Control* c : w.order)
    if (c->def->kind == Kind::kButton && c->def->default_button) {
      gtk_window_set_default(top, c->widget);
      gtk_widget_grab_focus(c->widget);
    }
  w.shown = true;
  gtk_widget_show(w.toplevel);
  StartTimers(w);
  if (dialog)
    while (FindWindow(def)) g_main_context_iteration(nullptr, TRUE);
  return true;
}

void DestroyWindow(const WindowDef& window, bool immediately) {
  if (immediately && gtkb::OnGuiThread()) {
    gtkb::DestroyNow(window);
    return;
  }
  g_idle_add(gtkb::DestroyQueued, const_cast<WindowDef*>(&window));
}

bool IsLoaded(const WindowDef& window) { return gtkb::FindWindow(window) != nullptr; }

int ClientWidth(const WindowDef& window) {
  auto* w = gtkb::FindWindow(window);
  return w ? w->client_width : 0;
}

int ClientHeight(const WindowDef& window) {
  auto* w = gtkb::FindWindow(window);
  return w ? w->client_height : 0;
}

Handle WindowHandle(const WindowDef& window) {
  auto* w = gtkb::FindWindow(window);
  return w ? reinterpret_cast<Handle>(w->stage) : 0;
}

void MoveNativeWindow(Handle handle, int left, int top, int width, int height, bool /*repaint*/) {
  auto it = S().natives.find(handle);
  if (handle == 0 || it == S().natives.end()) return;
  it->second.rect = {left, top, std::max(width, 0), std::max(height, 0)};
  if (GtkWidget* parent = gtk_widget_get_parent(it->second.widget)) gtk_widget_queue_resize(parent);
}

int ScreenWidth() { return gtkb::Screen().width; }
int ScreenHeight() { return gtkb::Screen().height; }

namespace {

struct PopupRun {
  GMainLoop* loop = nullptr;
  std::string chosen;
};

void PopupChosen(GtkMenuItem* item, gpointer data) {
  static_cast<PopupRun*>(data)->chosen = static_cast<const char*>(g_object_get_data(G_OBJECT(item), "vondrel-item"));
}

void PopupDone(GtkMenuShell*, gpointer data) {
  // the item's activate follows the deactivation: leave the loop after it
  g_idle_add(
      [](gpointer d) -> gboolean {
        g_main_loop_quit(static_cast<PopupRun*>(d)->loop);
        return G_SOURCE_REMOVE;
      },
      data);
}

}  // namespace

void PopupMenu(const WindowDef& owner, std::string_view menu) {
  gtkb::Window* w = gtkb::FindWindow(owner);
  const MenuDef* m = owner.FindMenu(menu);
  if (!w || !m || !gtk_widget_get_realized(w->toplevel)) return;
  PopupRun run;
  GtkWidget* popup = gtkb::BuildMenu(owner, *m, G_CALLBACK(PopupChosen), &run);
  gtk_menu_attach_to_widget(GTK_MENU(popup), w->toplevel, nullptr);
  GdkWindow* gdk = gtk_widget_get_window(w->toplevel);
  GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(gdk));
  int x = 0, y = 0;
  gdk_window_get_device_position(gdk, gdk_seat_get_pointer(seat), &x, &y, nullptr);
  const GdkRectangle at{x + 3, y + 3, 1, 1};
  GdkEvent* trigger = gtk_get_current_event();
  run.loop = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(popup, "deactivate", G_CALLBACK(PopupDone), &run);
  gtk_menu_popup_at_rect(GTK_MENU(popup), gdk, &at, GDK_GRAVITY_NORTH_WEST, GDK_GRAVITY_NORTH_WEST, trigger);
  if (trigger) gdk_event_free(trigger);
  if (gtk_widget_get_visible(popup)) g_main_loop_run(run.loop);
  g_main_loop_unref(run.loop);
  gtk_widget_destroy(popup);
  if (!run.chosen.empty()) common::RaiseMenu(owner, run.chosen);
}

// ---- control properties ------------------------------------------------------

void SetProperty(const WindowDef& window, std::string_view control, int property, std::int64_t value) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  if (!c) return;
  const int v = static_cast<int>(value), clamped = std::max(v, 0);
  bool place = false;
  switch (property) {
    case kLeft: c->rect.left = v, place = true; break;
    case kTop: c->rect.top = v, place = true; break;
    case kWidth: c->rect.width = clamped, place = true; break;
    case kHeight: c->rect.height = clamped, place = true; break;
    case kTag: c->tag = value; break;
    case kVisible:
      c->visible = value != 0;
      gtkb::ApplyVisibility(*c);
      break;
    case kDisabled:
      c->disabled = value != 0;
      if (c->widget) gtk_widget_set_sensitive(c->widget, !c->disabled);
      break;
    case kPosition:
      c->position = std::clamp<std::int64_t>(value, c->def->range_min, c->def->range_max);
      if (c->widget) {
        atk_object_set_name(gtk_widget_get_accessible(c->widget), std::to_string(c->position).c_str());
        gtk_widget_queue_draw(c->widget);
      }
      break;
    default: break;
  }
  if (place && c->widget) gtk_widget_queue_resize(c->window->stage);
}

void SetProperty(const WindowDef& window, std::string_view control, int property, std::string_view text) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  if (!c || property != kCaption) return;
  c->caption = text;
  if (c->widget) gtkb::ApplyCaption(*c);
}

std::int64_t GetProperty(const WindowDef& window, std::string_view control, int property) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  if (!c) return 0;
  if (c->def->kind == Kind::kStatusBar && c->def->docked_bottom && property == kHeight)
    return gtkb::StatusBarHeight(*c);
  switch (property) {
    case kLeft: return c->rect.left;
    case kTop: return c->rect.top;
    case kWidth: return c->rect.width;
    case kHeight: return c->rect.height;
    case kTag: return c->tag;
    case kVisible: return c->visible ? 1 : 0;
    case kDisabled: return c->disabled ? 1 : 0;
    case kPosition: return c->position;
    default: return 0;
  }
}

std::string GetTextProperty(const WindowDef& window, std::string_view control, int property) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  return c && property == kCaption ? c->caption : std::string();
}

}  // namespace core

// ---- status bar, tabs ------------------------------------------------------------

namespace statusbar {

void SetText(const core::WindowDef& window, std::string_view control, int part, std::string_view text) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  if (!c || part < 0 || part >= static_cast<int>(c->parts.size())) return;
  c->parts[static_cast<std::size_t>(part)] = text;
  gtkb::ApplyStatusTexts(*c);
}

std::string GetText(const core::WindowDef& window, std::string_view control, int part) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  if (!c || part < 0 || part >= static_cast<int>(c->parts.size())) return {};
  return c->parts[static_cast<std::size_t>(part)];
}

}  // namespace statusbar

namespace tabs {
int CurrentTab(const core::WindowDef& window, std::string_view control) {
  gtkb::Control* c = gtkb::FindControl(window, control);
  return c ? c->current_tab : 0;
}
}  // namespace tabs
