// The core library on User32 and ComCtl32: start-up and exit, windows from
// their definitions, controls and their properties, menus drawn by the
// super-menu component, the popup menu, timers, modal load, window keys;
// the status bar and the tab control.
#include "platform/win32/win32.h"  // first: windows.h before the other system headers
#include <commctrl.h>
#include <windowsx.h>
#include <ole2.h>

#include <algorithm>
#include <climits>
#include <cwctype>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/common/dispatch.h"
#include "platform/common/windef.h"
#include "platform/core.h"
#include "platform/shell.h"
#include "platform/statusbar.h"
#include "platform/tabs.h"
#include "platform/win32/picture.h"

namespace win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"VondrelWindow";
constexpr wchar_t kLabelClass[] = L"VondrelLabel";
constexpr wchar_t kPictureClass[] = L"VondrelPicture";
constexpr wchar_t kLinkClass[] = L"VondrelLink";
constexpr wchar_t kSplitterClass[] = L"VondrelSplitter";
constexpr wchar_t kMessageClass[] = L"VondrelMessages";

constexpr UINT kQueuedDestroy = WM_APP + 1;
constexpr UINT kExitCommand = WM_APP + 2;
constexpr UINT_PTR kFirstTimer = 100;
constexpr UINT kFirstMenuId = 1000;
constexpr int kStripWidth = 24;

struct Control {
  const core::ControlDef* def = nullptr;
  HWND hwnd = nullptr;
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true, disabled = false;
  std::int64_t tag = 0, position = 0;
  std::wstring caption;
  HFONT font = nullptr;
  HBRUSH back = nullptr;
  int current_tab = 0;
  UINT_PTR timer = 0;
  bool hover = false;
  bool tracking = false;  // a splitter bar being dragged
  int track_at = 0;       // where its tracking line is, in the parent's client area
  std::unique_ptr<Picture> picture;
  std::size_t frame = 0;
};

struct MenuEntry {
  std::wstring text;
  bool bar = false;
  bool separator = false;
};

struct Window {
  const core::WindowDef* def = nullptr;
  HWND hwnd = nullptr;
  bool ready = false;  // events held back until the load raises them
  bool modal = false;
  SIZE raised_size{-1, -1};  // the client size and window place last reported
  POINT raised_place{INT_MIN, INT_MIN};
  std::vector<HWND> disabled_others;
  std::map<std::string, Control> controls;
  std::vector<std::string> order;  // definition order
  HMENU bar = nullptr;
  std::map<UINT, std::string> menu_items;
  std::vector<std::unique_ptr<MenuEntry>> menu_entries;
  const supermenu::Style* menu_style = nullptr;
  HFONT menu_font = nullptr;
  HFONT window_font = nullptr;
  std::vector<HGDIOBJ> owned;  // fonts and brushes freed with the window
};

struct State {
  std::recursive_mutex mutex;
  DWORD gui = 0;
  HINSTANCE instance = nullptr;
  HWND messages = nullptr;
  std::map<const core::WindowDef*, std::unique_ptr<Window>> windows;
  std::map<HWND, Window*> by_handle;
  core::Handler exit_routine = nullptr;
  bool any_loaded = false;
  HICON icon_big = nullptr, icon_small = nullptr;
};

State& S() {
  static State s;
  return s;
}

using Lock = std::lock_guard<std::recursive_mutex>;

COLORREF Ref(const core::Rgb& c) { return RGB(c.r, c.g, c.b); }

Window* Find(const core::WindowDef& def) {
  Lock l(S().mutex);
  auto it = S().windows.find(&def);
  return it == S().windows.end() ? nullptr : it->second.get();
}

Window* FromHandle(HWND hwnd) {
  Lock l(S().mutex);
  auto it = S().by_handle.find(hwnd);
  return it == S().by_handle.end() ? nullptr : it->second;
}

Control* FindControl(const core::WindowDef& def, std::string_view name) {
  Window* w = Find(def);
  if (!w) return nullptr;
  auto it = w->controls.find(std::string(name));
  return it == w->controls.end() ? nullptr : &it->second;
}

Control* ControlOf(HWND child) {
  Window* w = FromHandle(GetAncestor(child, GA_ROOT));
  if (!w) return nullptr;
  for (auto& [name, c] : w->controls)
    if (c.hwnd == child) return &c;
  return nullptr;
}

HFONT MakeFont(Window& w, const std::optional<core::Font>& font) {
  if (!font) return w.window_font;
  if (font->face.empty()) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring face = Wide(font->face);
  HFONT f = CreateFontW(-font->height, 0, 0, 0, font->weight, FALSE, FALSE, FALSE, static_cast<BYTE>(font->charset),
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        face.c_str());
  w.owned.push_back(f);
  return f;
}

HBRUSH BackBrush(Window& w, const Control& c) {
  if (!c.def->back) return GetSysColorBrush(COLOR_BTNFACE);
  HBRUSH b = CreateSolidBrush(Ref(*c.def->back));
  w.owned.push_back(b);
  return b;
}

COLORREF BackColor(const Control& c) { return c.def->back ? Ref(*c.def->back) : GetSysColor(COLOR_BTNFACE); }

// ---- self-drawn controls --------------------------------------------------

void PaintLabel(Control& c, HDC dc, const RECT& r) {
  FillRect(dc, &r, c.back);
  SelectObject(dc, c.font);
  SetBkMode(dc, TRANSPARENT);
  UINT flags = DT_NOPREFIX | (c.def->align == core::Align::kCenter ? DT_CENTER : DT_LEFT);
  if (c.def->vcenter) flags |= DT_SINGLELINE | DT_VCENTER;
  if (c.def->word_wrap) flags |= DT_WORDBREAK;
  const COLORREF fore = c.def->fore ? Ref(*c.def->fore) : GetSysColor(COLOR_BTNTEXT);
  if (c.def->engraved) {
    RECT shifted = r;
    OffsetRect(&shifted, 1, 1);
    SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, c.caption.c_str(), -1, &shifted, flags);
  }
  SetTextColor(dc, fore);
  RECT copy = r;
  DrawTextW(dc, c.caption.c_str(), -1, &copy, flags);
}

void PaintLink(Control& c, HDC dc, const RECT& r) {
  FillRect(dc, &r, c.back);
  SelectObject(dc, c.font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, Ref(c.hover ? c.def->hover_color : c.def->link_color));
  RECT copy = r;
  const UINT align = c.def->align == core::Align::kCenter ? DT_CENTER : DT_LEFT;
  DrawTextW(dc, c.caption.c_str(), -1, &copy, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER | align);
}

void PaintSplitter(Control& c, HDC dc, const RECT& r) {
  FillRect(dc, &r, c.back);
  if (c.def->splitter.raised_edge) {
    RECT copy = r;
    DrawEdge(dc, &copy, BDR_RAISEDINNER, BF_RECT);
  }
}

// The splitter's tracking line: inverted, so drawing it twice removes it.
void InvertTrackLine(HWND bar, const Control& c) {
  HWND parent = GetParent(bar);
  RECT client;
  GetClientRect(parent, &client);
  HDC dc = GetDCEx(parent, nullptr, DCX_CACHE | DCX_PARENTCLIP);
  HBRUSH old = static_cast<HBRUSH>(SelectObject(dc, GetStockObject(GRAY_BRUSH)));
  if (c.def->splitter.orientation == splitter::Orientation::kHorizontal)
    PatBlt(dc, 0, c.track_at, client.right, 2, PATINVERT);
  else
    PatBlt(dc, c.track_at, 0, 2, client.bottom, PATINVERT);
  SelectObject(dc, old);
  ReleaseDC(parent, dc);
}

int TrackPosition(HWND bar, const Control& c, LPARAM lp) {
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  MapWindowPoints(bar, GetParent(bar), &p, 1);
  return c.def->splitter.orientation == splitter::Orientation::kHorizontal ? p.y : p.x;
}

bool SplitterMouse(HWND hwnd, Control& c, UINT msg, LPARAM lp) {
  if (!c.def->splitter.tracking_line) return false;
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      c.tracking = true;
      c.track_at = TrackPosition(hwnd, c, lp);
      InvertTrackLine(hwnd, c);
      return true;
    case WM_MOUSEMOVE:
      if (!c.tracking) return false;
      InvertTrackLine(hwnd, c);
      c.track_at = TrackPosition(hwnd, c, lp);
      InvertTrackLine(hwnd, c);
      return true;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (!c.tracking) return false;
      // the bar stays where it is
      InvertTrackLine(hwnd, c);
      c.tracking = false;
      if (msg == WM_LBUTTONUP) ReleaseCapture();
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Control* c = ControlOf(hwnd);
  if (c && c->def->kind == core::Kind::kSplitter) {
    if (SplitterMouse(hwnd, *c, msg, lp)) return 0;
    if (msg == WM_SETCURSOR) {
      const bool horizontal = c->def->splitter.orientation == splitter::Orientation::kHorizontal;
      SetCursor(LoadCursorW(nullptr, horizontal ? IDC_SIZENS : IDC_SIZEWE));
      return TRUE;
    }
  }
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      if (c) {
        switch (c->def->kind) {
          case core::Kind::kLabel: PaintLabel(*c, dc, r); break;
          case core::Kind::kHyperlink: PaintLink(*c, dc, r); break;
          case core::Kind::kSplitter: PaintSplitter(*c, dc, r); break;
          case core::Kind::kPictureBox:
            FillRect(dc, &r, c->back);
            if (c->picture) c->picture->Draw(dc, c->frame, r);
            break;
          default: break;
        }
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_TIMER:
      if (c && c->picture && c->picture->FrameCount() > 1) {
        c->frame = (c->frame + 1) % c->picture->FrameCount();
        SetTimer(hwnd, 1, c->picture->Delay(c->frame), nullptr);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_SETCURSOR:
      if (c && c->def->kind == core::Kind::kHyperlink) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_MOUSEMOVE:
      if (c && c->def->kind == core::Kind::kHyperlink && !c->hover) {
        c->hover = true;
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&t);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_MOUSELEAVE:
      if (c && c->hover) {
        c->hover = false;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (c && c->def->kind == core::Kind::kHyperlink) {
        shell::Execute(c->def->target, "open");
        return 0;
      }
      break;
    case WM_NCHITTEST:
      // labels and the picture let the mouse through to what lies below
      if (c && (c->def->kind == core::Kind::kLabel || c->def->kind == core::Kind::kPictureBox)) return HTTRANSPARENT;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ---- menus ----------------------------------------------------------------

HMENU BuildPopup(Window& w, const core::MenuDef& menu) {
  HMENU popup = CreatePopupMenu();
  for (const core::MenuItemDef& item : menu.items) {
    auto entry = std::make_unique<MenuEntry>();
    entry->text = Wide(item.text);
    entry->separator = item.IsSeparator();
    UINT id = 0;
    if (!entry->separator) {
      for (const auto& [known, name] : w.menu_items)
        if (name == item.id) id = known;
      if (id == 0) {
        id = kFirstMenuId + static_cast<UINT>(w.menu_items.size());
        w.menu_items[id] = item.id;
      }
    }
    if (w.menu_style) {
      AppendMenuW(popup, MF_OWNERDRAW | (entry->separator ? MF_SEPARATOR : 0), id,
                  reinterpret_cast<LPCWSTR>(entry.get()));
    } else {
      AppendMenuW(popup, entry->separator ? MF_SEPARATOR : MF_STRING, id, entry->text.c_str());
    }
    w.menu_entries.push_back(std::move(entry));
  }
  if (w.menu_style) {
    HBRUSH b = CreateSolidBrush(Ref(w.menu_style->menu_background));
    w.owned.push_back(b);
    MENUINFO mi{sizeof mi, MIM_BACKGROUND, 0, 0, b, 0, 0};
    SetMenuInfo(popup, &mi);
  }
  return popup;
}

void BuildMenuBar(Window& w) {
  const core::WindowDef& def = *w.def;
  if (std::none_of(def.menus.begin(), def.menus.end(), [](const core::MenuDef& m) { return m.visible; })) return;
  w.bar = CreateMenu();
  for (const core::MenuDef& menu : def.menus) {
    if (!menu.visible) continue;
    HMENU popup = BuildPopup(w, menu);
    auto entry = std::make_unique<MenuEntry>();
    entry->text = Wide(menu.text);
    entry->bar = true;
    if (w.menu_style)
      AppendMenuW(w.bar, MF_POPUP | MF_OWNERDRAW, reinterpret_cast<UINT_PTR>(popup),
                  reinterpret_cast<LPCWSTR>(entry.get()));
    else
      AppendMenuW(w.bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), entry->text.c_str());
    w.menu_entries.push_back(std::move(entry));
  }
  if (w.menu_style) {
    HBRUSH b = CreateSolidBrush(Ref(w.menu_style->bar_background));
    w.owned.push_back(b);
    MENUINFO mi{sizeof mi, MIM_BACKGROUND, 0, 0, b, 0, 0};
    SetMenuInfo(w.bar, &mi);
  }
}

void MeasureMenu(Window& w, MEASUREITEMSTRUCT& m) {
  auto* e = reinterpret_cast<MenuEntry*>(m.itemData);
  if (!e) return;
  if (e->separator) {
    m.itemWidth = 0;
    m.itemHeight = 5;
    return;
  }
  HDC dc = GetDC(w.hwnd);
  HGDIOBJ old = SelectObject(dc, w.menu_font);
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, e->text.c_str(), -1, &r, DT_SINGLELINE | DT_CALCRECT);
  SelectObject(dc, old);
  ReleaseDC(w.hwnd, dc);
  if (e->bar) {
    m.itemWidth = static_cast<UINT>(r.right - r.left + 8);
    m.itemHeight = static_cast<UINT>(std::max<LONG>(r.bottom - r.top + 6, 18));
  } else {
    m.itemWidth = static_cast<UINT>(r.right - r.left + kStripWidth + 24);
    m.itemHeight = static_cast<UINT>(std::max<LONG>(r.bottom - r.top + 8, 22));
  }
}

void Gradient(HDC dc, const RECT& r, const core::Rgb& from, const core::Rgb& to, bool horizontal) {
  TRIVERTEX v[2] = {{r.left, r.top, static_cast<COLOR16>(from.r << 8), static_cast<COLOR16>(from.g << 8),
                     static_cast<COLOR16>(from.b << 8), 0},
                    {r.right, r.bottom, static_cast<COLOR16>(to.r << 8), static_cast<COLOR16>(to.g << 8),
                     static_cast<COLOR16>(to.b << 8), 0}};
  GRADIENT_RECT g{0, 1};
  GradientFill(dc, v, 2, &g, 1, horizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

void FrameWith(HDC dc, const RECT& r, COLORREF color) {
  HBRUSH b = CreateSolidBrush(color);
  FrameRect(dc, &r, b);
  DeleteObject(b);
}

void Fill(HDC dc, const RECT& r, COLORREF color) {
  HBRUSH b = CreateSolidBrush(color);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

// The highlight colour over the menu background at the style's opacity.
void BlendFill(HDC dc, const RECT& r, const core::Rgb& color, int alpha) {
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 1, 1);
  HGDIOBJ old = SelectObject(mem, bmp);
  SetPixel(mem, 0, 0, Ref(color));
  BLENDFUNCTION bf{AC_SRC_OVER, 0, static_cast<BYTE>(alpha), 0};
  AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, mem, 0, 0, 1, 1, bf);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
}

void DrawMenu(Window& w, const DRAWITEMSTRUCT& d) {
  auto* e = reinterpret_cast<MenuEntry*>(d.itemData);
  if (!e || !w.menu_style) return;
  const supermenu::Style& st = *w.menu_style;
  HDC dc = d.hDC;
  RECT r = d.rcItem;
  HGDIOBJ old = SelectObject(dc, w.menu_font);
  SetBkMode(dc, TRANSPARENT);
  const bool selected = d.itemState & ODS_SELECTED;
  const bool hot = d.itemState & ODS_HOTLIGHT;
  const bool disabled = d.itemState & (ODS_DISABLED | ODS_GRAYED);
  UINT prefix = (d.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0;
  if (e->bar) {
    Fill(dc, r, Ref(st.bar_background));
    if (selected) {
      Gradient(dc, r, st.strip_from, st.strip_to, false);
      FrameWith(dc, r, RGB(st.frame.r / 2 + 64, st.frame.g / 2 + 64, st.frame.b / 2 + 64));
    } else if (hot) {
      Fill(dc, r, Ref(st.bar_hot));
      FrameWith(dc, r, Ref(st.frame));
    }
    SetTextColor(dc, Ref(disabled ? st.disabled_text : st.text));
    DrawTextW(dc, e->text.c_str(), -1, &r, DT_SINGLELINE | DT_VCENTER | DT_CENTER | prefix);
  } else {
    Fill(dc, r, Ref(st.menu_background));
    RECT strip{r.left, r.top, r.left + kStripWidth, r.bottom};
    Gradient(dc, strip, st.strip_from, st.strip_to, true);
    if (e->separator) {
      RECT line{r.left + kStripWidth + 4, (r.top + r.bottom) / 2, r.right - 2, (r.top + r.bottom) / 2 + 1};
      Fill(dc, line, Ref(st.separator));
    } else {
      if (selected && !disabled) {
        RECT h{r.left + 1, r.top, r.right - 1, r.bottom};
        BlendFill(dc, h, st.item_highlight, st.highlight_alpha);
        FrameWith(dc, h, Ref(st.frame));
      }
      SetTextColor(dc, Ref(disabled ? st.disabled_text : st.text));
      RECT t{r.left + kStripWidth + 8, r.top, r.right - 8, r.bottom};
      DrawTextW(dc, e->text.c_str(), -1, &t, DT_SINGLELINE | DT_VCENTER | DT_LEFT | prefix);
    }
  }
  SelectObject(dc, old);
}

// ---- layout ----------------------------------------------------------------

void DockStatusBars(Window& w) {
  for (auto& [name, c] : w.controls) {
    if (c.def->kind != core::Kind::kStatusBar || !c.hwnd) continue;
    SendMessageW(c.hwnd, WM_SIZE, 0, 0);
    RECT r, client;
    GetWindowRect(c.hwnd, &r);
    GetClientRect(w.hwnd, &client);
    c.left = 0;
    c.width = client.right;
    c.height = r.bottom - r.top;
    c.top = client.bottom - c.height;
  }
}

// Where a control lies in the window's client area: page controls count from
// their tab control's top-left corner.
POINT Origin(Window& w, const Control& c) {
  if (!c.def->tab_control.empty()) {
    auto it = w.controls.find(c.def->tab_control);
    if (it != w.controls.end()) return {it->second.left, it->second.top};
  }
  return {0, 0};
}

bool OnShownPage(Window& w, const Control& c) {
  if (c.def->tab_control.empty()) return true;
  auto it = w.controls.find(c.def->tab_control);
  return it == w.controls.end() || it->second.current_tab == c.def->tab_page;
}

void Place(Window& w, Control& c) {
  if (!c.hwnd || c.def->kind == core::Kind::kStatusBar) return;
  const POINT o = Origin(w, c);
  SetWindowPos(c.hwnd, nullptr, o.x + c.left, o.y + c.top, std::max(c.width, 0), std::max(c.height, 0),
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyVisible(Window& w, Control& c) {
  if (!c.hwnd) return;
  ShowWindow(c.hwnd, c.visible && OnShownPage(w, c) ? SW_SHOWNA : SW_HIDE);
}

void SwitchPages(Window& w, const std::string& tab_control) {
  for (auto& [name, c] : w.controls)
    if (c.def->tab_control == tab_control) ApplyVisible(w, c);
}

// ---- creation -------------------------------------------------------------

void CreateControl(Window& w, Control& c) {
  const core::ControlDef& d = *c.def;
  c.left = d.left, c.top = d.top, c.width = d.width, c.height = d.height;
  c.visible = d.visible;
  c.caption = Wide(d.kind == core::Kind::kHyperlink && d.caption.empty() ? d.target : d.caption);
  c.position = d.position;
  c.font = MakeFont(w, d.font);
  c.back = BackBrush(w, c);
  const POINT o = Origin(w, c);
  const int x = o.x + d.left, y = o.y + d.top;
  const DWORD child = WS_CHILD | WS_CLIPSIBLINGS;
  HINSTANCE inst = S().instance;
  switch (d.kind) {
    case core::Kind::kLabel:
      c.hwnd = CreateWindowExW(0, kLabelClass, L"", child, x, y, d.width, d.height, w.hwnd, nullptr, inst, nullptr);
      break;
    case core::Kind::kPictureBox:
      c.hwnd = CreateWindowExW(0, kPictureClass, L"", child, x, y, d.width, d.height, w.hwnd, nullptr, inst, nullptr);
      c.picture = Picture::FromResource(d.picture);
      if (c.picture && c.picture->FrameCount() > 1) SetTimer(c.hwnd, 1, c.picture->Delay(0), nullptr);
      break;
    case core::Kind::kHyperlink:
      c.hwnd = CreateWindowExW(0, kLinkClass, L"", child, x, y, d.width, d.height, w.hwnd, nullptr, inst, nullptr);
      break;
    case core::Kind::kSplitter:
      c.hwnd = CreateWindowExW(0, kSplitterClass, L"", child, x, y, d.width, d.height, w.hwnd, nullptr, inst,
                               nullptr);
      break;
    case core::Kind::kEditBox: {
      DWORD style = child | ES_LEFT;
      if (d.multiline) style |= ES_MULTILINE;
      if (d.read_only) style |= ES_READONLY;
      if (!d.hide_selection) style |= ES_NOHIDESEL;
      if (d.tab_stop) style |= WS_TABSTOP;
      c.hwnd = CreateWindowExW(0, L"EDIT", c.caption.c_str(), style | (d.border ? WS_BORDER : 0), x, y, d.width,
                               d.height, w.hwnd, nullptr, inst, nullptr);
      break;
    }
    case core::Kind::kButton: {
      DWORD style = child | BS_CENTER | BS_VCENTER | (d.default_button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      if (d.tab_stop) style |= WS_TABSTOP;
      c.hwnd = CreateWindowExW(0, L"BUTTON", c.caption.c_str(), style, x, y, d.width, d.height, w.hwnd, nullptr, inst,
                               nullptr);
      break;
    }
    case core::Kind::kProgressBar:
      c.hwnd = CreateWindowExW(0, PROGRESS_CLASSW, L"", child | (d.segmented ? 0 : PBS_SMOOTH), x, y, d.width,
                               d.height, w.hwnd, nullptr, inst, nullptr);
      SendMessageW(c.hwnd, PBM_SETRANGE32, static_cast<WPARAM>(d.range_min), d.range_max);
      SendMessageW(c.hwnd, PBM_SETPOS, static_cast<WPARAM>(d.position), 0);
      break;
    case core::Kind::kStatusBar: {
      DWORD style = child | CCS_BOTTOM | (d.size_grip ? SBARS_SIZEGRIP : 0) | (d.tooltips ? SBARS_TOOLTIPS : 0);
      c.hwnd = CreateWindowExW(0, STATUSCLASSNAMEW, L"", style, 0, 0, 0, 0, w.hwnd, nullptr, inst, nullptr);
      std::vector<int> edges;
      for (const statusbar::Part& p : d.parts) edges.push_back(p.right_edge);
      if (!edges.empty()) SendMessageW(c.hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
      SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
      for (std::size_t i = 0; i < d.parts.size(); ++i)
        SendMessageW(c.hwnd, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(Wide(d.parts[i].text).c_str()));
      break;
    }
    case core::Kind::kTabControl:
      c.hwnd = CreateWindowExW(0, WC_TABCONTROLW, L"", child | WS_TABSTOP, x, y, d.width, d.height, w.hwnd, nullptr,
                               inst, nullptr);
      SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
      for (std::size_t i = 0; i < d.tabs.size(); ++i) {
        std::wstring text = Wide(d.tabs[i]);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        SendMessageW(c.hwnd, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
      }
      SendMessageW(c.hwnd, TCM_SETCURSEL, 0, 0);
      break;
    case core::Kind::kTimer:
      c.timer = kFirstTimer + w.order.size();
      if (d.interval > 0) SetTimer(w.hwnd, c.timer, static_cast<UINT>(d.interval), nullptr);
      break;
    case core::Kind::kSuperMenu:
      w.menu_style = &d.menu_style;
      break;
  }
  if (c.hwnd && d.kind != core::Kind::kStatusBar && d.kind != core::Kind::kTabControl)
    SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(c.font), FALSE);
}

DWORD WindowStyle(const core::WindowDef& d) {
  DWORD style = WS_CAPTION | WS_CLIPCHILDREN;
  if (d.control_box) style |= WS_SYSMENU;
  if (d.resizable) style |= WS_THICKFRAME;
  if (d.min_box) style |= WS_MINIMIZEBOX;
  if (d.max_box) style |= WS_MAXIMIZEBOX;
  return style;
}

void DestroyNow(Window* w) {
  if (!w || !w->hwnd) return;
  if (w->modal) {
    // enable the others first so that activation returns to them
    for (HWND other : w->disabled_others)
      if (IsWindow(other)) EnableWindow(other, TRUE);
    w->disabled_others.clear();
  }
  ::DestroyWindow(w->hwnd);
}

void Forget(HWND hwnd) {
  std::unique_ptr<Window> gone;
  {
    Lock l(S().mutex);
    auto it = S().by_handle.find(hwnd);
    if (it == S().by_handle.end()) return;
    Window* w = it->second;
    S().by_handle.erase(it);
    auto wit = S().windows.find(w->def);
    if (wit != S().windows.end()) {
      gone = std::move(wit->second);
      S().windows.erase(wit);
    }
  }
  if (gone) {
    for (HGDIOBJ o : gone->owned) DeleteObject(o);
    if (S().windows.empty()) PostQuitMessage(0);
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = FromHandle(hwnd);
  if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_SIZE:
      DockStatusBars(*w);
      // the system repeats WM_SIZE and WM_MOVE on showing; the events are for changes
      if (w->ready && (LOWORD(lp) != w->raised_size.cx || HIWORD(lp) != w->raised_size.cy)) {
        w->raised_size = {LOWORD(lp), HIWORD(lp)};
        common::Raise(*w->def, "", core::Event::kResized);
      }
      return 0;
    case WM_MOVE: {
      RECT r;
      GetWindowRect(hwnd, &r);
      if (w->ready && (r.left != w->raised_place.x || r.top != w->raised_place.y)) {
        w->raised_place = {r.left, r.top};
        common::Raise(*w->def, "", core::Event::kMoved);
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyNow(w);
      return 0;
    case kQueuedDestroy:
      DestroyNow(w);
      return 0;
    case WM_DESTROY:
      Forget(hwnd);
      return 0;
    case WM_TIMER:
      for (auto& [name, c] : w->controls)
        if (c.timer == wp) {
          const core::WindowDef* def = w->def;
          common::Raise(*def, name, core::Event::kTimer);
          break;
        }
      return 0;
    case WM_COMMAND: {
      if (lp == 0 && HIWORD(wp) == 0) {
        auto it = w->menu_items.find(LOWORD(wp));
        if (it != w->menu_items.end()) {
          const std::string item = it->second;
          common::RaiseMenu(*w->def, item);
        }
        return 0;
      }
      if (HIWORD(wp) == BN_CLICKED) {
        if (Control* c = ControlOf(reinterpret_cast<HWND>(lp))) {
          const std::string name = c->def->name;
          common::Raise(*w->def, name, core::Event::kClick);
        }
        return 0;
      }
      break;
    }
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(lp);
      if (n->code == static_cast<UINT>(TCN_SELCHANGE)) {
        if (Control* c = ControlOf(n->hwndFrom)) {
          const int now = static_cast<int>(SendMessageW(c->hwnd, TCM_GETCURSEL, 0, 0));
          if (now != c->current_tab) {
            c->current_tab = now;
            const std::string name = c->def->name;
            SwitchPages(*w, name);
            common::Raise(*w->def, name, core::Event::kTabChanged);
          }
        }
        return 0;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
      if (Control* c = ControlOf(reinterpret_cast<HWND>(lp))) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetBkColor(dc, BackColor(*c));
        SetTextColor(dc, c->def->fore ? Ref(*c->def->fore) : GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(c->back);
      }
      break;
    case WM_MENUCHAR:
      if (w->menu_style) {
        // owner-drawn items keep their "&X" mnemonics
        HMENU menu = reinterpret_cast<HMENU>(lp);
        const wchar_t key = static_cast<wchar_t>(towupper(LOWORD(wp)));
        const int n = GetMenuItemCount(menu);
        for (int i = 0; i < n; ++i) {
          MENUITEMINFOW info{};
          info.cbSize = sizeof info;
          info.fMask = MIIM_DATA;
          if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info) || !info.dwItemData) continue;
          const std::wstring& text = reinterpret_cast<MenuEntry*>(info.dwItemData)->text;
          const std::size_t amp = text.find(L'&');
          if (amp != std::wstring::npos && amp + 1 < text.size() && towupper(text[amp + 1]) == key)
            return MAKELRESULT(i, MNC_EXECUTE);
        }
        return MAKELRESULT(0, MNC_IGNORE);
      }
      break;
    case WM_MEASUREITEM: {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (m->CtlType == ODT_MENU) {
        MeasureMenu(*w, *m);
        return TRUE;
      }
      break;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
      if (d->CtlType == ODT_MENU) {
        DrawMenu(*w, *d);
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK MessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kExitCommand) {
    RunExitRoutine();
    OleUninitialize();
    ExitProcess(static_cast<UINT>(wp));
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterClasses() {
  HINSTANCE inst = S().instance;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpfnWndProc = WindowProc;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  S().icon_big = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                               GetSystemMetrics(SM_CYICON), 0));
  S().icon_small = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  RegisterClassExW(&wc);
  wc.lpfnWndProc = ChildProc;
  wc.hbrBackground = nullptr;
  for (const wchar_t* name : {kLabelClass, kPictureClass, kLinkClass, kSplitterClass}) {
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
  }
  wc.lpfnWndProc = MessageProc;
  wc.lpszClassName = kMessageClass;
  RegisterClassExW(&wc);
}

// Esc closes the window the message is for; Enter clicks its default button
// when the focused control does not take Enter. True when handled.
bool WindowKey(const MSG& m) {
  if (m.message != WM_KEYDOWN || (m.wParam != VK_ESCAPE && m.wParam != VK_RETURN)) return false;
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0) return false;
  Window* w = FromHandle(GetAncestor(m.hwnd, GA_ROOT));
  if (!w || !IsWindowEnabled(w->hwnd)) return false;
  if (m.wParam == VK_ESCAPE) {
    PostMessageW(w->hwnd, WM_CLOSE, 0, 0);
    return true;
  }
  HWND focus = GetFocus();
  const LRESULT code = focus ? SendMessageW(focus, WM_GETDLGCODE, m.wParam, reinterpret_cast<LPARAM>(&m)) : 0;
  if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
    PostMessageW(focus, BM_CLICK, 0, 0);
    return true;
  }
  if (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) return false;
  for (const std::string& name : w->order) {
    Control& c = w->controls[name];
    if (c.def->kind == core::Kind::kButton && c.def->default_button && c.hwnd && IsWindowEnabled(c.hwnd)) {
      PostMessageW(c.hwnd, BM_CLICK, 0, 0);
      return true;
    }
  }
  return false;
}

// The window keys are looked at as each message is retrieved, by this
// thread's loops and by the system's own (a message box's, a menu's).
LRESULT CALLBACK KeyHook(int code, WPARAM wp, LPARAM lp) {
  if (code >= 0 && wp == PM_REMOVE) {
    MSG* m = reinterpret_cast<MSG*>(lp);
    if (WindowKey(*m)) {
      m->message = WM_NULL;
      m->wParam = m->lParam = 0;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// One message of a loop; false on WM_QUIT.
bool PumpOne() {
  MSG m;
  const BOOL got = GetMessageW(&m, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    if (got == 0) PostQuitMessage(static_cast<int>(m.wParam));
    return false;
  }
  TranslateMessage(&m);
  DispatchMessageW(&m);
  return true;
}

}  // namespace

int LoadedWindowCount() {
  Lock l(S().mutex);
  return static_cast<int>(S().windows.size());
}

DWORD GuiThread() { return S().gui; }

void RunExitRoutine() {
  core::Handler routine = S().exit_routine;
  S().exit_routine = nullptr;  // forgotten once called
  if (routine) routine();
}

void SetInstance(HINSTANCE instance) { S().instance = instance; }

}  // namespace win32

// ---- core.h ---------------------------------------------------------------

namespace core {

using namespace win32;

void Initialize() {
  State& s = S();
  s.gui = GetCurrentThreadId();
  if (!s.instance) s.instance = GetModuleHandleW(nullptr);
  OleInitialize(nullptr);
  SetCurrentDirectoryW(Wide(RunDirectory()).c_str());
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS |
                                           ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  StartGdiPlus();
  RegisterClasses();
  SetWindowsHookExW(WH_GETMESSAGE, KeyHook, nullptr, s.gui);
  s.messages = CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, s.instance, nullptr);
  LoadAtl();
}

void SetExitRoutine(Handler routine) { S().exit_routine = routine; }

void RunMessageLoop() {
  if (LoadedWindowCount() == 0) return;
  while (PumpOne()) {
  }
  // take the quit message back out: it was for this loop
  MSG m;
  PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}

void Exit(int code) {
  if (GetCurrentThreadId() == S().gui || !S().messages) {
    RunExitRoutine();
    OleUninitialize();
    ExitProcess(static_cast<UINT>(code));
  }
  // the GUI thread runs the shutdown; this thread waits and ends with the process
  SendMessageW(S().messages, kExitCommand, static_cast<WPARAM>(code), 0);
}

bool LoadWindow(const WindowDef& window, const WindowDef* parent, bool dialog) {
  State& s = S();
  if (Find(window)) return true;
  auto owned = std::make_unique<win32::Window>();
  win32::Window& w = *owned;
  w.def = &window;
  w.modal = dialog;
  const std::wstring caption = Wide(window.caption);
  const Point at = CenteredOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), window.width,
                                  window.height);
  HWND owner = nullptr;
  if (parent)
    if (win32::Window* p = Find(*parent)) owner = p->hwnd;
  const DWORD ex = window.taskbar ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW;
  {
    Lock l(s.mutex);
    s.windows[&window] = std::move(owned);
  }
  w.hwnd = CreateWindowExW(ex, kWindowClass, caption.c_str(), WindowStyle(window), at.x, at.y, window.width,
                           window.height, owner, nullptr, s.instance, nullptr);
  if (!w.hwnd) {
    {
      Lock l(s.mutex);
      s.windows.erase(&window);
    }
    if (!s.any_loaded) {
      MessageBoxW(nullptr, (L"无法创建窗口 " + Wide(window.name)).c_str(), L"错误", MB_OK | MB_ICONERROR);
      ExitProcess(static_cast<UINT>(-1));
    }
    return false;
  }
  s.any_loaded = true;
  {
    Lock l(s.mutex);
    s.by_handle[w.hwnd] = &w;
  }
  if (window.icon) {
    SendMessageW(w.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(s.icon_big));
    SendMessageW(w.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(s.icon_small));
  }
  w.window_font = window.font.face.empty() ? static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))
                                           : MakeFont(w, window.font);
  for (const ControlDef& c : window.controls) {
    if (c.kind == Kind::kSuperMenu) w.menu_style = &c.menu_style;
  }
  if (w.menu_style) {
    core::Font f{w.menu_style->font_face, w.menu_style->font_height, w.menu_style->font_weight, kCharsetGb2312};
    w.menu_font = MakeFont(w, f);
  }
  BuildMenuBar(w);
  if (w.bar) SetMenu(w.hwnd, w.bar);
  // tab controls first: page controls are placed from them
  for (const ControlDef& c : window.controls) {
    w.order.push_back(c.name);
    win32::Control& ctl = w.controls[c.name];
    ctl.def = &c;
  }
  for (const ControlDef& c : window.controls)
    if (c.kind == Kind::kTabControl) CreateControl(w, w.controls[c.name]);
  for (const ControlDef& c : window.controls)
    if (c.kind != Kind::kTabControl) CreateControl(w, w.controls[c.name]);
  // the first in the definition on top
  for (auto it = window.controls.rbegin(); it != window.controls.rend(); ++it) {
    win32::Control& c = w.controls[it->name];
    if (c.hwnd) SetWindowPos(c.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  for (auto& [name, c] : w.controls) ApplyVisible(w, c);
  DockStatusBars(w);
  if (dialog) {
    Lock l(s.mutex);
    for (auto& [def, other] : s.windows)
      if (other.get() != &w && other->hwnd && IsWindowEnabled(other->hwnd)) {
        EnableWindow(other->hwnd, FALSE);
        w.disabled_others.push_back(other->hwnd);
      }
  }
  HWND hwnd = w.hwnd;
  w.ready = true;
  {
    RECT r, c;
    GetWindowRect(hwnd, &r);
    GetClientRect(hwnd, &c);
    w.raised_place = {r.left, r.top};
    w.raised_size = {c.right, c.bottom};
  }
  common::Raise(window, "", Event::kCreated);
  if (!IsWindow(hwnd) || !Find(window)) return true;
  common::Raise(window, "", Event::kMoved);
  if (!IsWindow(hwnd) || !Find(window)) return true;
  common::Raise(window, "", Event::kResized);
  if (!IsWindow(hwnd) || !Find(window)) return true;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  SetForegroundWindow(hwnd);
  for (const ControlDef& c : window.controls)
    if (c.kind == Kind::kButton && c.default_button)
      if (win32::Control* b = FindControl(window, c.name)) SetFocus(b->hwnd);
  if (dialog) {
    while (Find(window) && PumpOne()) {
    }
  }
  return true;
}

void DestroyWindow(const WindowDef& window, bool immediately) {
  win32::Window* w = Find(window);
  if (!w) return;
  if (immediately && GetCurrentThreadId() == S().gui)
    DestroyNow(w);
  else
    PostMessageW(w->hwnd, kQueuedDestroy, 0, 0);
}

bool IsLoaded(const WindowDef& window) { return Find(window) != nullptr; }

int ClientWidth(const WindowDef& window) {
  win32::Window* w = Find(window);
  if (!w) return 0;
  RECT r;
  GetClientRect(w->hwnd, &r);
  return r.right;
}

int ClientHeight(const WindowDef& window) {
  win32::Window* w = Find(window);
  if (!w) return 0;
  RECT r;
  GetClientRect(w->hwnd, &r);
  return r.bottom;
}

Handle WindowHandle(const WindowDef& window) {
  win32::Window* w = Find(window);
  return w ? reinterpret_cast<Handle>(w->hwnd) : 0;
}

void MoveNativeWindow(Handle handle, int left, int top, int width, int height, bool repaint) {
  if (handle == 0) return;
  MoveWindow(reinterpret_cast<HWND>(handle), left, top, std::max(width, 0), std::max(height, 0), repaint);
}

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

void PopupMenu(const WindowDef& owner, std::string_view menu) {
  win32::Window* w = Find(owner);
  const MenuDef* m = owner.FindMenu(menu);
  if (!w || !m) return;
  HMENU popup = BuildPopup(*w, *m);
  POINT p;
  GetCursorPos(&p);
  const UINT id = static_cast<UINT>(TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                                   p.x + 3, p.y + 3, 0, w->hwnd, nullptr));
  DestroyMenu(popup);
  if (id != 0) {
    auto it = w->menu_items.find(id);
    if (it != w->menu_items.end()) {
      const std::string item = it->second;
      common::RaiseMenu(owner, item);
    }
  }
}

void SetProperty(const WindowDef& window, std::string_view control, int property, std::int64_t value) {
  win32::Window* w = Find(window);
  win32::Control* c = FindControl(window, control);
  if (!w || !c) return;
  const int v = static_cast<int>(value);
  switch (property) {
    case kLeft: c->left = v; Place(*w, *c); break;
    case kTop: c->top = v; Place(*w, *c); break;
    case kWidth: c->width = std::max(v, 0); Place(*w, *c); break;
    case kHeight: c->height = std::max(v, 0); Place(*w, *c); break;
    case kTag: c->tag = value; break;
    case kVisible: c->visible = value != 0; ApplyVisible(*w, *c); break;
    case kDisabled:
      c->disabled = value != 0;
      if (c->hwnd) EnableWindow(c->hwnd, !c->disabled);
      break;
    case kPosition:
      c->position = value;
      if (c->hwnd && c->def->kind == Kind::kProgressBar) SendMessageW(c->hwnd, PBM_SETPOS, static_cast<WPARAM>(v), 0);
      break;
    default: break;
  }
}

void SetProperty(const WindowDef& window, std::string_view control, int property, std::string_view text) {
  win32::Control* c = FindControl(window, control);
  if (!c || property != kCaption) return;
  c->caption = Wide(text);
  if (!c->hwnd) return;
  if (c->def->kind == Kind::kEditBox || c->def->kind == Kind::kButton)
    SetWindowTextW(c->hwnd, c->caption.c_str());
  else
    InvalidateRect(c->hwnd, nullptr, FALSE);
}

std::int64_t GetProperty(const WindowDef& window, std::string_view control, int property) {
  win32::Control* c = FindControl(window, control);
  if (!c) return 0;
  switch (property) {
    case kLeft: return c->left;
    case kTop: return c->top;
    case kWidth: return c->width;
    case kHeight: return c->height;
    case kTag: return c->tag;
    case kVisible: return c->visible ? 1 : 0;
    case kDisabled: return c->disabled ? 1 : 0;
    case kPosition:
      if (c->hwnd && c->def->kind == Kind::kProgressBar) return SendMessageW(c->hwnd, PBM_GETPOS, 0, 0);
      return c->position;
    default: return 0;
  }
}

std::string GetTextProperty(const WindowDef& window, std::string_view control, int property) {
  win32::Control* c = FindControl(window, control);
  if (!c || property != kCaption) return {};
  if (c->hwnd && c->def->kind == Kind::kEditBox) {
    const int n = GetWindowTextLengthW(c->hwnd);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(c->hwnd, text.data(), n + 1)));
    return Utf8(text);
  }
  return Utf8(c->caption);
}

}  // namespace core

namespace statusbar {

void SetText(const core::WindowDef& window, std::string_view control, int part, std::string_view text) {
  win32::Control* c = win32::FindControl(window, control);
  if (!c || !c->hwnd || part < 0 || part >= static_cast<int>(c->def->parts.size())) return;
  SendMessageW(c->hwnd, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(win32::Wide(text).c_str()));
}

std::string GetText(const core::WindowDef& window, std::string_view control, int part) {
  win32::Control* c = win32::FindControl(window, control);
  if (!c || !c->hwnd || part < 0 || part >= static_cast<int>(c->def->parts.size())) return {};
  const int n = LOWORD(SendMessageW(c->hwnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0));
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  SendMessageW(c->hwnd, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(n));
  return win32::Utf8(text);
}

}  // namespace statusbar

namespace tabs {

int CurrentTab(const core::WindowDef& window, std::string_view control) {
  win32::Control* c = win32::FindControl(window, control);
  return c ? c->current_tab : 0;
}

}  // namespace tabs
