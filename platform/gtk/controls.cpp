// The controls of a window definition as GTK widgets. Every control is a
// child of its window's stage (a GtkOverlay) placed by its rectangle; the
// stage stacks them in definition order, the first on top.
#include <algorithm>
#include <cmath>
#include <set>

#include "platform/common/dispatch.h"
#include "platform/gtk/gtk_backend.h"
#include "platform/shell.h"

namespace gtkb {

namespace {

constexpr core::Rgb kButtonFace{240, 240, 240};
constexpr core::Rgb kHighlight{255, 255, 255};
constexpr core::Rgb kShadow{160, 160, 160};
constexpr const char* kDefaultFace = "Sans";
constexpr int kDefaultHeight = 12;

void SetSource(cairo_t* cr, const core::Rgb& c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

std::string Unix(std::string_view text) {  // CR LF and lone CR as LF
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

int FontHeight(const core::Font* font) { return font && font->height > 0 ? font->height : kDefaultHeight; }

// The baseline of a line of `px` pixels: CJK faces keep most of their ink above it.
int Baseline(int px) { return static_cast<int>(std::lround(px * 0.88)); }

void SetAccessibleName(GtkWidget* w, const std::string& text, AtkRole role) {
  AtkObject* a = gtk_widget_get_accessible(w);
  if (!a) return;
  atk_object_set_name(a, Unix(text).c_str());
  if (role != ATK_ROLE_INVALID) atk_object_set_role(a, role);
}

PangoLayout* MakeLayout(GtkWidget* w, const core::Font* font, const std::string& text) {
  PangoLayout* layout = gtk_widget_create_pango_layout(w, nullptr);
  PangoFontDescription* desc = FontDescription(font);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  pango_layout_set_text(layout, Unix(text).c_str(), -1);
  return layout;
}

// ---- label -----------------------------------------------------------------

gboolean DrawLabel(GtkWidget* w, cairo_t* cr, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const core::ControlDef& d = *c.def;
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  SetSource(cr, d.back.value_or(kButtonFace));
  cairo_paint(cr);
  if (c.caption.empty()) return TRUE;
  const core::Font* font = d.font ? &*d.font : nullptr;
  PangoLayout* layout = MakeLayout(w, font, c.caption);
  if (d.word_wrap || d.align == core::Align::kCenter) pango_layout_set_width(layout, width * PANGO_SCALE);
  if (d.word_wrap) pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  if (d.align == core::Align::kCenter) pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  auto paint = [&](int dx, int dy, const core::Rgb& colour) {
    SetSource(cr, colour);
    if (d.word_wrap) {
      // lines one character height apart, as the system draws them
      const int px = FontHeight(font);
      PangoLayoutIter* it = pango_layout_get_iter(layout);
      int i = 0;
      do {
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(it);
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(it, nullptr, &logical);
        cairo_move_to(cr, dx + logical.x / PANGO_SCALE, dy + i * px + Baseline(px));
        pango_cairo_show_layout_line(cr, line);
        ++i;
      } while (pango_layout_iter_next_line(it));
      pango_layout_iter_free(it);
    } else {
      int lw = 0, lh = 0;
      pango_layout_get_pixel_size(layout, &lw, &lh);
      const int y = d.vcenter ? (height - lh) / 2 : 0;
      cairo_move_to(cr, dx, dy + y);
      pango_cairo_show_layout(cr, layout);
    }
  };
  if (d.engraved) paint(1, 1, kHighlight);
  paint(0, 0, d.fore.value_or(core::Rgb{0, 0, 0}));
  g_object_unref(layout);
  return TRUE;
}

// ---- hyperlink box ----------------------------------------------------------

std::string LinkText(const Control& c) { return c.caption.empty() ? c.def->target : c.caption; }

gboolean DrawLink(GtkWidget* w, cairo_t* cr, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const core::ControlDef& d = *c.def;
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  SetSource(cr, d.back.value_or(kButtonFace));
  cairo_paint(cr);
  PangoLayout* layout = MakeLayout(w, nullptr, LinkText(c));
  int lw = 0, lh = 0;
  pango_layout_get_pixel_size(layout, &lw, &lh);
  const int x = d.align == core::Align::kCenter && lw < width ? (width - lw) / 2 : 0;
  const int px = FontHeight(nullptr);
  SetSource(cr, c.hover ? d.hover_color : d.link_color);
  cairo_move_to(cr, x, std::max(0, (height - px) / 2) + Baseline(px));
  pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(layout, 0));
  g_object_unref(layout);
  return TRUE;
}

gboolean LinkCrossing(GtkWidget* w, GdkEventCrossing* e, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  c.hover = e->type == GDK_ENTER_NOTIFY;
  gtk_widget_queue_draw(w);
  return FALSE;
}

gboolean LinkRelease(GtkWidget*, GdkEventButton* e, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  if (e->button != 1 || !c.hover) return FALSE;
  const core::WindowDef& window = *c.window->def;
  const std::string name = c.def->name, target = c.def->target;
  shell::Execute(target);
  common::Raise(window, name, core::Event::kClick);
  return TRUE;
}

void LinkRealize(GtkWidget* w, gpointer) {
  GdkCursor* hand = gdk_cursor_new_from_name(gtk_widget_get_display(w), "pointer");
  gdk_window_set_cursor(gtk_widget_get_window(w), hand);
  if (hand) g_object_unref(hand);
}

// ---- progress bar, splitter bar ----------------------------------------------

gboolean DrawProgress(GtkWidget* w, cairo_t* cr, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const core::ControlDef& d = *c.def;
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  SetSource(cr, kButtonFace);
  cairo_paint(cr);
  // thin sunken border
  SetSource(cr, kShadow);
  cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  const int span = std::max(1, d.range_max - d.range_min);
  const double fraction = std::clamp(static_cast<double>(c.position - d.range_min) / span, 0.0, 1.0);
  const int inner_w = width - 4, inner_h = height - 4;
  if (inner_w <= 0 || inner_h <= 0) return TRUE;
  const int filled = static_cast<int>(inner_w * fraction);
  cairo_set_source_rgb(cr, 6 / 255.0, 176 / 255.0, 37 / 255.0);
  if (d.segmented) {
    const int block = std::max(2, inner_h * 2 / 3), gap = 2;
    for (int x = 0; x < filled; x += block + gap)
      cairo_rectangle(cr, 2 + x, 2, std::min(block, filled - x), inner_h);
  } else {
    cairo_rectangle(cr, 2, 2, filled, inner_h);
  }
  cairo_fill(cr);
  return TRUE;
}

gboolean DrawSplitter(GtkWidget* w, cairo_t* cr, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
  SetSource(cr, c.def->back.value_or(kButtonFace));
  cairo_paint(cr);
  if (!c.def->splitter.raised_edge) return TRUE;
  cairo_set_line_width(cr, 1);
  SetSource(cr, kHighlight);  // top and left
  cairo_move_to(cr, 0, 0.5), cairo_line_to(cr, width, 0.5);
  cairo_move_to(cr, 0.5, 0), cairo_line_to(cr, 0.5, height);
  cairo_stroke(cr);
  SetSource(cr, kShadow);  // bottom and right, drawn last
  cairo_move_to(cr, 0, height - 0.5), cairo_line_to(cr, width, height - 0.5);
  cairo_move_to(cr, width - 0.5, 0), cairo_line_to(cr, width - 0.5, height);
  cairo_stroke(cr);
  return TRUE;
}

// ---- tab control -------------------------------------------------------------

void TabSwitched(GtkNotebook*, GtkWidget*, guint page, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  if (static_cast<int>(page) == c.current_tab) return;
  c.current_tab = static_cast<int>(page);
  Window& w = *c.window;
  for (Control* other : w.order)
    if (other->def->tab_control == c.def->name) ApplyVisibility(*other);
  const core::WindowDef& def = *w.def;
  const std::string name = c.def->name;
  common::Raise(def, name, core::Event::kTabChanged);
}

void ButtonClicked(GtkButton*, gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const core::WindowDef& def = *c.window->def;
  const std::string name = c.def->name;
  common::Raise(def, name, core::Event::kClick);
}

gboolean TimerTick(gpointer data) {
  Control& c = *static_cast<Control*>(data);
  const core::WindowDef& def = *c.window->def;
  const std::string name = c.def->name;
  common::Raise(def, name, core::Event::kTimer);
  return G_SOURCE_CONTINUE;
}

GdkPixbufAnimation* LoadingAnimation() {
  static GdkPixbufAnimation* animation = [] {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    gdk_pixbuf_loader_write(loader, vondrel_loading_gif, vondrel_loading_gif_size, nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbufAnimation* a = gdk_pixbuf_loader_get_animation(loader);
    if (a) g_object_ref(a);
    g_object_unref(loader);
    return a;
  }();
  return animation;
}

GtkWidget* DrawingArea(Control& c, GCallback draw) {
  GtkWidget* w = gtk_drawing_area_new();
  g_signal_connect(w, "draw", draw, &c);
  return w;
}

}  // namespace

std::string RgbCss(const core::Rgb& c) {
  return "rgb(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

std::string FontCss(const core::Font* font) {
  const std::string face = font && !font->face.empty() ? font->face : kDefaultFace;
  return "font-family: \"" + face + "\"; font-size: " + std::to_string(FontHeight(font)) +
         "px; font-weight: " + std::to_string(font ? font->weight : 400) + ";";
}

PangoFontDescription* FontDescription(const core::Font* font) {
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, font && !font->face.empty() ? font->face.c_str() : kDefaultFace);
  pango_font_description_set_absolute_size(desc, FontHeight(font) * PANGO_SCALE);
  pango_font_description_set_weight(desc, static_cast<PangoWeight>(font ? font->weight : 400));
  return desc;
}

void AddCss(GtkWidget* widget, const std::string& css) {
  GtkCssProvider* p = gtk_css_provider_new();
  gtk_css_provider_load_from_data(p, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(p),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(p);
}

std::string MnemonicText(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else if (text[i] == '_') {
      out += "__";
    } else {
      out += text[i];
    }
  }
  return out;
}

int StatusBarHeight(Control& c) {
  if (!c.widget) return 0;
  int min = 0, nat = 0;
  gtk_widget_get_preferred_height(c.widget, &min, &nat);
  return nat;
}

void BuildControl(Control& c) {
  const core::ControlDef& d = *c.def;
  const core::Font* font = d.font ? &*d.font : nullptr;
  GtkWidget* w = nullptr;
  switch (d.kind) {
    case core::Kind::kLabel:
      w = DrawingArea(c, G_CALLBACK(DrawLabel));
      SetAccessibleName(w, c.caption, ATK_ROLE_LABEL);
      break;
    case core::Kind::kPictureBox: {
      GtkWidget* image = LoadingAnimation() ? gtk_image_new_from_animation(LoadingAnimation()) : gtk_image_new();
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_misc_set_alignment(GTK_MISC(image), 0, 0);
      G_GNUC_END_IGNORE_DEPRECATIONS
      w = gtk_event_box_new();
      gtk_container_add(GTK_CONTAINER(w), image);
      AddCss(w, "* { background-color: " + RgbCss(d.back.value_or(kButtonFace)) + "; }");
      SetAccessibleName(w, d.picture, ATK_ROLE_ANIMATION);
      c.inner = image;
      break;
    }
    case core::Kind::kEditBox: {
      GtkWidget* view = gtk_text_view_new();
      gtk_text_view_set_editable(GTK_TEXT_VIEW(view), !d.read_only);
      gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), !d.read_only);
      // a multi-line box wraps long lines at its edge, as the system edit box does
      gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), d.multiline ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
      gtk_text_view_set_left_margin(GTK_TEXT_VIEW(view), 2);
      gtk_text_view_set_top_margin(GTK_TEXT_VIEW(view), 1);
      gtk_widget_set_can_focus(view, TRUE);
      const std::string colours = "color: " + RgbCss(d.fore.value_or(core::Rgb{0, 0, 0})) +
                                  "; background-color: " + RgbCss(d.back.value_or(core::Rgb{255, 255, 255})) + ";";
      AddCss(view, "textview, textview text { " + colours + FontCss(font) + " }");
      w = gtk_frame_new(nullptr);
      gtk_frame_set_shadow_type(GTK_FRAME(w), d.border ? GTK_SHADOW_IN : GTK_SHADOW_NONE);
      if (d.border) AddCss(w, "frame > border { border: 1px solid rgb(122,122,122); }");
      gtk_container_add(GTK_CONTAINER(w), view);
      c.inner = view;
      break;
    }
    case core::Kind::kButton: {
      w = gtk_button_new_with_mnemonic(MnemonicText(c.caption).c_str());
      GtkWidget* label = gtk_bin_get_child(GTK_BIN(w));
      AddCss(label, "label { " + FontCss(font) + " }");
      gtk_widget_set_can_focus(w, d.tab_stop);
      if (d.default_button) gtk_widget_set_can_default(w, TRUE);
      g_signal_connect(w, "clicked", G_CALLBACK(ButtonClicked), &c);
      c.inner = label;
      break;
    }
    case core::Kind::kHyperlink:
      w = DrawingArea(c, G_CALLBACK(DrawLink));
      gtk_widget_add_events(w, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_BUTTON_PRESS_MASK |
                                   GDK_BUTTON_RELEASE_MASK);
      g_signal_connect(w, "enter-notify-event", G_CALLBACK(LinkCrossing), &c);
      g_signal_connect(w, "leave-notify-event", G_CALLBACK(LinkCrossing), &c);
      g_signal_connect(w, "button-release-event", G_CALLBACK(LinkRelease), &c);
      g_signal_connect_after(w, "realize", G_CALLBACK(LinkRealize), &c);
      SetAccessibleName(w, LinkText(c), ATK_ROLE_LINK);
      break;
    case core::Kind::kProgressBar:
      w = DrawingArea(c, G_CALLBACK(DrawProgress));
      SetAccessibleName(w, "0", ATK_ROLE_PROGRESS_BAR);
      break;
    case core::Kind::kStatusBar: {
      w = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
      AddCss(w, "box { background-color: " + RgbCss(d.back.value_or(kButtonFace)) + "; padding: 2px 2px 1px 0; }");
      int left = 0;
      for (std::size_t i = 0; i < d.parts.size(); ++i) {
        GtkWidget* frame = gtk_frame_new(nullptr);
        gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
        AddCss(frame, "frame > border { border: 1px solid rgb(200,200,200); border-top-color: rgb(160,160,160);"
                      " border-left-color: rgb(160,160,160); }");
        GtkWidget* label = gtk_label_new(c.parts[i].c_str());
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
        gtk_label_set_single_line_mode(GTK_LABEL(label), TRUE);
        AddCss(label, "label { " + FontCss(font) + " color: black; padding: 1px 3px; }");
        gtk_container_add(GTK_CONTAINER(frame), label);
        const int edge = d.parts[i].right_edge;
        const bool open = edge < 0 || i + 1 == d.parts.size();
        if (!open) gtk_widget_set_size_request(frame, std::max(0, edge - left - 2), -1);
        gtk_box_pack_start(GTK_BOX(w), frame, open, open, 0);
        if (d.tooltips) gtk_widget_set_tooltip_text(label, c.parts[i].c_str());
        c.part_labels.push_back(label);
        left = edge;
      }
      // GTK 3 draws no size grip; the window frame resizes.
      break;
    }
    case core::Kind::kSplitter:
      w = DrawingArea(c, G_CALLBACK(DrawSplitter));
      break;
    case core::Kind::kTabControl: {
      GtkWidget* book = gtk_notebook_new();
      for (const std::string& caption : d.tabs) {
        GtkWidget* tab = gtk_label_new(caption.c_str());
        AddCss(tab, "label { " + FontCss(font) + " }");
        gtk_notebook_append_page(GTK_NOTEBOOK(book), gtk_box_new(GTK_ORIENTATION_VERTICAL, 0), tab);
      }
      g_signal_connect_after(book, "switch-page", G_CALLBACK(TabSwitched), &c);
      w = book;
      c.inner = book;
      break;
    }
    case core::Kind::kTimer:
    case core::Kind::kSuperMenu:
      return;  // nothing on the screen: the menus take the component's style
  }
  gtk_widget_set_name(w, d.name.c_str());
  g_object_set_data(G_OBJECT(w), "vondrel-control", &c);
  c.widget = w;
}

void StartTimers(Window& w) {
  for (Control* c : w.order)
    if (c->def->kind == core::Kind::kTimer && c->def->interval > 0 && !c->timer)
      c->timer = g_timeout_add(static_cast<guint>(c->def->interval), TimerTick, c);
}

void ApplyVisibility(Control& c) {
  if (!c.widget) return;
  bool on = c.visible;
  if (!c.def->tab_control.empty()) {
    auto it = c.window->controls.find(c.def->tab_control);
    if (it != c.window->controls.end()) on = on && it->second->current_tab == c.def->tab_page;
  }
  gtk_widget_set_visible(c.widget, on);
}

void ApplyCaption(Control& c) {
  switch (c.def->kind) {
    case core::Kind::kLabel:
      SetAccessibleName(c.widget, c.caption, ATK_ROLE_INVALID);
      gtk_widget_queue_draw(c.widget);
      break;
    case core::Kind::kHyperlink:
      SetAccessibleName(c.widget, LinkText(c), ATK_ROLE_INVALID);
      gtk_widget_queue_draw(c.widget);
      break;
    case core::Kind::kEditBox: {
      GtkTextBuffer* b = gtk_text_view_get_buffer(GTK_TEXT_VIEW(c.inner));
      gtk_text_buffer_set_text(b, Unix(c.caption).c_str(), -1);
      break;
    }
    case core::Kind::kButton:
      gtk_button_set_label(GTK_BUTTON(c.widget), MnemonicText(c.caption).c_str());
      break;
    default:
      break;
  }
}

void ApplyStatusTexts(Control& c) {
  for (std::size_t i = 0; i < c.part_labels.size() && i < c.parts.size(); ++i) {
    gtk_label_set_text(GTK_LABEL(c.part_labels[i]), c.parts[i].c_str());
    if (c.def->tooltips) gtk_widget_set_tooltip_text(c.part_labels[i], c.parts[i].c_str());
  }
}

}  // namespace gtkb
