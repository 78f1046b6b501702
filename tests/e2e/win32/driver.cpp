// vondrel-driver: drives the Windows program from outside for the end-to-end
// tests. One command per run; results on stdout as UTF-8, exit code 0 when
// the command succeeded, 1 when what it waited for did not happen.
//
//   window CAPTION MS               wait for a top-level window; print its place and state
//   gone CAPTION MS                 wait until no window has that caption
//   menus CAPTION                   the menu bar: per menu, items, separators, owner-drawn items
//   command CAPTION MENU ITEM       choose item ITEM of menu MENU (both from 0)
//   key CAPTION esc|enter           press the key in the window
//   status CAPTION PART             a status bar part's text
//   tab CAPTION INDEX               click a tab of the window's tab control
//   text CAPTION CLASS N            the text of the N-th child window of CLASS
//   box CAPTION MS                  wait for a message box; print its text
//   answer CAPTION ok|cancel        press a button of a message box
//   children CAPTION                the child windows, top of the stacking order first
//   position CAPTION                the position of the window's progress bar
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Print(const std::string& s) {
  std::fwrite(s.data(), 1, s.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring Text(HWND h) {
  wchar_t buffer[4096];
  const LRESULT n = SendMessageW(h, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
  return std::wstring(buffer, static_cast<std::size_t>(n));
}

struct FindContext {
  const wchar_t* cls;
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK FindOne(HWND h, LPARAM p) {
  auto* c = reinterpret_cast<FindContext*>(p);
  wchar_t name[256];
  if (c->cls && (!GetClassNameW(h, name, 256) || lstrcmpiW(name, c->cls) != 0)) return TRUE;
  if (!IsWindowVisible(h)) return TRUE;
  wchar_t title[512];
  const int n = GetWindowTextW(h, title, 512);
  if (std::wstring(title, static_cast<std::size_t>(n)) == *c->caption) {
    c->found = h;
    return FALSE;
  }
  return TRUE;
}

HWND Find(const wchar_t* cls, const std::wstring& caption) {
  FindContext ctx{cls, &caption, nullptr};
  EnumWindows(FindOne, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND Wait(const wchar_t* cls, const std::wstring& caption, int ms) {
  for (int waited = 0;; waited += 100) {
    if (HWND h = Find(cls, caption)) return h;
    if (waited >= ms) return nullptr;
    Sleep(100);
  }
}

struct ChildContext {
  const wchar_t* cls;
  std::vector<HWND> out;
};

BOOL CALLBACK CollectChild(HWND h, LPARAM p) {
  auto* c = reinterpret_cast<ChildContext*>(p);
  wchar_t name[256];
  if (GetClassNameW(h, name, 256) && lstrcmpiW(name, c->cls) == 0) c->out.push_back(h);
  return TRUE;
}

std::vector<HWND> Children(HWND parent, const wchar_t* cls) {
  ChildContext ctx{cls, {}};
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&ctx));
  return ctx.out;
}

// A buffer in the program's process, for messages that pass pointers.
struct Remote {
  HANDLE process = nullptr;
  void* at = nullptr;
  explicit Remote(HWND h, std::size_t size) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process) at = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~Remote() {
    if (at) VirtualFreeEx(process, at, 0, MEM_RELEASE);
    if (process) CloseHandle(process);
  }
  bool Read(void* into, std::size_t size) {
    SIZE_T got = 0;
    return ReadProcessMemory(process, at, into, size, &got) && got == size;
  }
};

int Usage() {
  Print("usage: vondrel-driver window|gone|menus|command|key|status|tab|text|box|answer ...");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  const std::wstring cmd = argv[1];
  const std::wstring caption = argv[2];
  auto arg = [&](int i) { return i < argc ? _wtoi(argv[i]) : 0; };

  if (cmd == L"window") {
    HWND h = Wait(nullptr, caption, arg(3));
    if (!h) return 1;
    RECT r, c;
    GetWindowRect(h, &r);
    GetClientRect(h, &c);
    char line[256];
    std::snprintf(line, sizeof line, "left=%ld top=%ld width=%ld height=%ld client=%ldx%ld enabled=%d", r.left,
                  r.top, r.right - r.left, r.bottom - r.top, c.right, c.bottom, IsWindowEnabled(h) ? 1 : 0);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    wchar_t focus[64] = L"none";
    if (GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &gui) && gui.hwndFocus)
      GetClassNameW(gui.hwndFocus, focus, 64);
    Print(std::string(line) + " focus=" + Utf8(focus));
    return 0;
  }
  if (cmd == L"gone") {
    for (int waited = 0;; waited += 100) {
      if (!Find(nullptr, caption)) return 0;
      if (waited >= arg(3)) return 1;
      Sleep(100);
    }
  }
  if (cmd == L"box") {
    HWND h = Wait(L"#32770", caption, arg(3));
    if (!h) return 1;
    Print(Utf8(Text(GetDlgItem(h, 0xFFFF))));
    return 0;
  }
  if (cmd == L"answer") {
    HWND h = Wait(L"#32770", caption, 5000);
    if (!h || argc < 4) return 1;
    const int id = std::wstring(argv[3]) == L"cancel" ? IDCANCEL : IDOK;
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(h, id)));
    return 0;
  }
  HWND h = Find(nullptr, caption);
  if (!h) return 1;
  if (cmd == L"menus") {
    HMENU bar = GetMenu(h);
    if (!bar) return 1;
    const int menus = GetMenuItemCount(bar);
    std::string out = "menus=" + std::to_string(menus);
    for (int i = 0; i < menus; ++i) {
      HMENU sub = GetSubMenu(bar, i);
      const int n = GetMenuItemCount(sub);
      int separators = 0, drawn = 0;
      for (int j = 0; j < n; ++j) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE;
        GetMenuItemInfoW(sub, static_cast<UINT>(j), TRUE, &info);
        if (info.fType & MFT_SEPARATOR) ++separators;
        if (info.fType & MFT_OWNERDRAW) ++drawn;
      }
      out += " [" + std::to_string(n) + " items, " + std::to_string(separators) + " separators, " +
             std::to_string(drawn) + " owner-drawn]";
    }
    Print(out);
    return 0;
  }
  if (cmd == L"command") {
    HMENU sub = GetSubMenu(GetMenu(h), arg(3));
    const UINT id = GetMenuItemID(sub, arg(4));
    if (!sub || id == static_cast<UINT>(-1)) return 1;
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return 0;
  }
  if (cmd == L"key") {
    if (argc < 4) return 1;
    const WPARAM vk = std::wstring(argv[3]) == L"esc" ? VK_ESCAPE : VK_RETURN;
    DWORD thread = GetWindowThreadProcessId(h, nullptr);
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND target = h;
    // the focused control, when it is one of this window's
    if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus && IsWindow(gui.hwndFocus) &&
        (gui.hwndFocus == h || IsChild(h, gui.hwndFocus)))
      target = gui.hwndFocus;
    PostMessageW(target, WM_KEYDOWN, vk, 1);
    PostMessageW(target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    return 0;
  }
  if (cmd == L"status") {
    auto bars = Children(h, STATUSCLASSNAMEW);
    if (bars.empty()) return 1;
    Remote buffer(bars[0], 4096 * sizeof(wchar_t));
    if (!buffer.at) return 1;
    SendMessageW(bars[0], SB_GETTEXTW, static_cast<WPARAM>(arg(3)), reinterpret_cast<LPARAM>(buffer.at));
    wchar_t text[4096] = {};
    buffer.Read(text, sizeof text - sizeof(wchar_t));
    Print(Utf8(text));
    return 0;
  }
  if (cmd == L"tab") {
    auto tabs = Children(h, WC_TABCONTROLW);
    if (tabs.empty()) return 1;
    Remote buffer(tabs[0], sizeof(RECT));
    if (!buffer.at) return 1;
    SendMessageW(tabs[0], TCM_GETITEMRECT, static_cast<WPARAM>(arg(3)), reinterpret_cast<LPARAM>(buffer.at));
    RECT r{};
    if (!buffer.Read(&r, sizeof r)) return 1;
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tabs[0], WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tabs[0], WM_LBUTTONUP, 0, at);
    return 0;
  }
  if (cmd == L"children") {
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t name[256] = {};
      GetClassNameW(c, name, 256);
      RECT r;
      GetWindowRect(c, &r);
      char line[128];
      std::snprintf(line, sizeof line, " %ld,%ld %ldx%ld %s", r.left, r.top, r.right - r.left, r.bottom - r.top,
                    IsWindowVisible(c) ? "visible" : "hidden");
      Print(Utf8(name) + line);
    }
    return 0;
  }
  if (cmd == L"position") {
    auto bars = Children(h, PROGRESS_CLASSW);
    if (bars.empty()) return 1;
    Print(std::to_string(SendMessageW(bars[0], PBM_GETPOS, 0, 0)));
    return 0;
  }
  if (cmd == L"text") {
    if (argc < 5) return 1;
    auto list = Children(h, argv[3]);
    const int n = arg(4);
    if (n < 0 || n >= static_cast<int>(list.size())) return 1;
    Print(Utf8(Text(list[static_cast<std::size_t>(n)])));
    return 0;
  }
  return Usage();
}
