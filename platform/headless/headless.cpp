// The headless backend: core, status bar, tabs, ActiveX host controls,
// shell, HTTP read and a recording downloader, all in memory.
#include "platform/headless/headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/common/backend.h"
#include "platform/common/dispatch.h"
#include "platform/internet.h"
#include "platform/shell.h"
#include "platform/statusbar.h"
#include "platform/tabs.h"

namespace vondrel {
int StartProgram();
}

namespace headless {

namespace fs = std::filesystem;

namespace {

struct State {
  std::recursive_mutex mutex;
  std::thread::id gui = std::this_thread::get_id();
  int screen_w = 1024, screen_h = 768;
  int status_h = 20, frame_w = 16, frame_h = 59;
  bool fail_next_load = false;
  core::Handle next_handle = 100;
  std::map<const core::WindowDef*, WindowState> windows;
  std::map<const core::WindowDef*, std::function<void()>> when_shown;
  std::deque<std::function<void()>> queue;
  std::vector<std::string> log;
  core::Handler exit_routine = nullptr;
  bool exited = false;
  std::map<core::Handle, NativeRect> natives;
  int cursor_x = 0, cursor_y = 0;
  std::optional<std::string> popup_choice;
  std::vector<Popup> popups;
  std::deque<int> answers;
  std::function<std::optional<int>(const MessageBoxRecord&)> while_box;
  std::vector<MessageBoxRecord> boxes;
  std::map<std::string, std::function<core::ComObject()>> factories;
  int hooks = 0;
  std::map<std::string, std::string> http;
  std::vector<std::string> http_reads;
  std::vector<AddedTask> tasks;
  int downloads_destroyed = 0;
  std::vector<std::string> shell;
  std::vector<ProgramRun> runs;
  bool run_result = true;
  std::string folder, run_dir, cur_dir, exe_name = "vd.exe", separator = "/";
  std::vector<std::string> file_writes;

  ~State() {
    std::error_code ec;
    if (!folder.empty()) fs::remove_all(folder, ec);
  }
};

State& S() {
  static State s;
  return s;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void Record(std::string line) {
  Lock l(S().mutex);
  S().log.push_back(std::move(line));
}

WindowState* Find(const core::WindowDef& w) {
  auto it = S().windows.find(&w);
  return it == S().windows.end() ? nullptr : &it->second;
}

ControlState* FindControl(const core::WindowDef& w, std::string_view control) {
  WindowState* ws = Find(w);
  if (!ws) return nullptr;
  auto it = ws->controls.find(std::string(control));
  return it == ws->controls.end() ? nullptr : &it->second;
}

void DockStatusBars(WindowState& ws) {
  for (auto& [name, c] : ws.controls) {
    if (c.def->kind != core::Kind::kStatusBar || !c.def->docked_bottom) continue;
    c.left = 0;
    c.width = ws.client_width;
    c.height = S().status_h;
    c.top = ws.client_height - c.height;
  }
}

void DestroyNow(const core::WindowDef& w) {
  WindowState* ws = Find(w);
  if (!ws) return;
  const bool modal = ws->modal;
  S().windows.erase(&w);
  if (modal)
    for (auto& [def, other] : S().windows) other.disabled = false;
  Record("destroyed " + w.name);
}

std::string Resolve(std::string_view path) {
  fs::path p{std::string(path)};
  if (p.is_relative()) p = fs::path(S().cur_dir) / p;
  return p.string();
}

bool RunOne() {
  std::function<void()> task;
  {
    Lock l(S().mutex);
    if (S().queue.empty()) return false;
    task = std::move(S().queue.front());
    S().queue.pop_front();
  }
  task();
  return true;
}

void Post(std::function<void()> task) {
  Lock l(S().mutex);
  S().queue.push_back(std::move(task));
}

void RunExitRoutine() {
  core::Handler routine = S().exit_routine;
  S().exit_routine = nullptr;  // forgotten once called
  if (routine) {
    Record("exit routine");
    routine();
  }
}

}  // namespace

// ---- test controls --------------------------------------------------------

void Reset() {
  State& s = S();
  Lock l(s.mutex);
  common::ClearBindings();
  s.gui = std::this_thread::get_id();
  s.screen_w = 1024, s.screen_h = 768, s.status_h = 20, s.frame_w = 16, s.frame_h = 59;
  s.fail_next_load = false;
  s.windows.clear();
  s.when_shown.clear();
  s.queue.clear();
  s.log.clear();
  s.exit_routine = nullptr;
  s.exited = false;
  s.natives.clear();
  s.cursor_x = s.cursor_y = 0;
  s.popup_choice.reset();
  s.popups.clear();
  s.answers.clear();
  s.while_box = nullptr;
  s.boxes.clear();
  s.factories.clear();
  s.hooks = 0;
  s.http.clear();
  s.http_reads.clear();
  s.tasks.clear();
  s.downloads_destroyed = 0;
  s.shell.clear();
  s.runs.clear();
  s.run_result = true;
  s.exe_name = "vd.exe";
  s.separator = "/";
  s.file_writes.clear();
  if (!s.folder.empty()) {
    std::error_code ec;
    fs::remove_all(s.folder, ec);
  }
  std::random_device rd;
  s.folder = (fs::temp_directory_path() / ("vondrel-unit-" + std::to_string(rd()))).string();
  fs::create_directories(s.folder);
  s.run_dir = s.cur_dir = s.folder;
}

int RunProgram() {
  const int code = vondrel::StartProgram();
  Shutdown();
  return code;
}

void Shutdown() {
  Pump();
  RunExitRoutine();
}

void SetScreen(int width, int height) { S().screen_w = width, S().screen_h = height; }
void SetStatusBarHeight(int height) { S().status_h = height; }
void SetFrame(int horizontal, int vertical) { S().frame_w = horizontal, S().frame_h = vertical; }
void FailNextLoad() { S().fail_next_load = true; }

void Pump() {
  while (RunOne()) {
  }
}

void WhenShown(const core::WindowDef& window, std::function<void()> action) {
  S().when_shown[&window] = std::move(action);
}

bool IsLoaded(const core::WindowDef& window) { return Find(window) != nullptr; }

const WindowState& Window(const core::WindowDef& window) {
  static const WindowState none{};
  const WindowState* ws = Find(window);
  return ws ? *ws : none;
}

const ControlState& Control(const core::WindowDef& window, const std::string& control) {
  static const ControlState none{};
  const ControlState* c = FindControl(window, control);
  return c ? *c : none;
}

void Resize(const core::WindowDef& window, int client_width, int client_height) {
  WindowState* ws = Find(window);
  if (!ws) return;
  ws->client_width = client_width;
  ws->client_height = client_height;
  DockStatusBars(*ws);
  common::Raise(window, "", core::Event::kResized);
}

namespace {
bool TakesInput(const core::WindowDef& window) {
  const WindowState* ws = Find(window);
  return ws && !ws->disabled;
}
}  // namespace

bool Click(const core::WindowDef& window, const std::string& control) {
  if (!TakesInput(window) || !FindControl(window, control)) return false;
  common::Raise(window, control, core::Event::kClick);
  Pump();
  return true;
}

bool ChooseMenu(const core::WindowDef& window, const std::string& item) {
  if (!TakesInput(window) || !window.FindItem(item)) return false;
  common::RaiseMenu(window, item);
  Pump();
  return true;
}

bool PressEscape(const core::WindowDef& window) { return CloseBox(window); }

bool PressEnter(const core::WindowDef& window) {
  if (!TakesInput(window)) return false;
  for (const core::ControlDef& c : window.controls)
    if (c.kind == core::Kind::kButton && c.default_button) return Click(window, c.name);
  return false;
}

bool CloseBox(const core::WindowDef& window) {
  if (!TakesInput(window)) return false;
  core::DestroyWindow(window);
  Pump();
  return true;
}

bool SelectTab(const core::WindowDef& window, const std::string& control, int tab) {
  ControlState* c = FindControl(window, control);
  if (!TakesInput(window) || !c || tab < 0 || tab >= static_cast<int>(c->def->tabs.size())) return false;
  if (c->current_tab == tab) return true;
  c->current_tab = tab;
  common::Raise(window, control, core::Event::kTabChanged);
  Pump();
  return true;
}

void Tick(const core::WindowDef& window, const std::string& timer) {
  if (FindControl(window, timer)) common::Raise(window, timer, core::Event::kTimer);
}

std::vector<std::string> Log() {
  Lock l(S().mutex);
  return S().log;
}
void ClearLog() {
  Lock l(S().mutex);
  S().log.clear();
}

std::optional<NativeRect> NativeWindow(core::Handle handle) {
  auto it = S().natives.find(handle);
  if (it == S().natives.end()) return std::nullopt;
  return it->second;
}

void SetCursor(int x, int y) { S().cursor_x = x, S().cursor_y = y; }
void ChooseInNextPopup(std::string item) { S().popup_choice = std::move(item); }
std::vector<Popup> Popups() { return S().popups; }

void AnswerMessageBoxes(std::vector<int> answers) {
  Lock l(S().mutex);
  S().answers.assign(answers.begin(), answers.end());
}
void WhileMessageBox(std::function<std::optional<int>(const MessageBoxRecord&)> action) {
  S().while_box = std::move(action);
}
std::vector<MessageBoxRecord> MessageBoxes() {
  Lock l(S().mutex);
  return S().boxes;
}

void RegisterControl(const std::string& prog_id, std::function<core::ComObject()> factory) {
  S().factories[prog_id] = std::move(factory);
}

std::shared_ptr<ScriptedBrowser> InstallBrowser() {
  auto browser = std::make_shared<ScriptedBrowser>();
  RegisterControl("Shell.Explorer.2", [browser] { return browser; });
  return browser;
}
int HookInstalls() { return S().hooks; }

void SetHttpResponse(const std::string& url, std::string body) { S().http[url] = std::move(body); }
std::vector<std::string> HttpReads() { return S().http_reads; }

std::vector<AddedTask> AddedTasks() {
  Lock l(S().mutex);
  std::vector<AddedTask> out = S().tasks;
  for (AddedTask& t : out) {  // texts point into this copy
    t.record.Url = t.url.data();
    t.record.LocalPath = t.local_path.data();
  }
  return out;
}
int DownloadsDestroyed() { return S().downloads_destroyed; }
std::vector<std::string> ShellExecutes() { return S().shell; }
std::vector<ProgramRun> ProgramRuns() { return S().runs; }
void SetRunProgramResult(bool started) { S().run_result = started; }
std::string Folder() { return S().folder; }
void SetRunDirectory(std::string path) { S().run_dir = std::move(path); }
void SetCurrentDirectory(std::string path) { S().cur_dir = std::move(path); }
void SetExecutableName(std::string name) { S().exe_name = std::move(name); }
void SetPathSeparator(std::string separator) { S().separator = std::move(separator); }
std::vector<std::string> FileWrites() {
  Lock l(S().mutex);
  return S().file_writes;
}

// ---- scripted controls ----------------------------------------------------

namespace {
constexpr std::int32_t kDispidExecCommand = 1;
constexpr std::int32_t kDispidTitle = 2;
constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x80020003u);  // DISP_E_MEMBERNOTFOUND
}  // namespace

std::int32_t ScriptedDocument::Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                                      core::Variant* result) {
  if (dispid == kDispidTitle && (flags & core::kPropertyGet)) {
    if (result) *result = core::Variant::Text(title);
    return 0;
  }
  if (dispid == kDispidExecCommand && (flags & core::kMethod)) {
    exec_commands.push_back(args);
    if (result) *result = core::Variant::Bool(true);
    return 0;
  }
  return kNotFound;
}

std::int32_t ScriptedDocument::IdOfName(std::string_view name) {
  if (name == "execCommand") return kDispidExecCommand;
  if (name == "title") return kDispidTitle;
  return -1;
}

std::vector<core::EventMember> ScriptedDocument::EventMembers() {
  if (!has_events) return {};
  return {{1023, true}, {-600, true}};
}

bool ScriptedDocument::Connect(core::EventSink* sink) {
  if (!sink && sink_) Record("document disconnected");
  sink_ = sink;
  return true;
}

bool ScriptedDocument::RaiseContextMenu() { return sink_ ? sink_->OnEvent(1023, {}) : true; }

std::int32_t ScriptedBrowser::Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                                     core::Variant* result) {
  calls.push_back({dispid, flags, args});
  if (on_call) on_call(calls.back());
  if (dispid == 203 && (flags & core::kPropertyGet)) {
    if (!document) return static_cast<std::int32_t>(0x80004005u);
    if (result) *result = core::Variant::Object(document);
    return 0;
  }
  return 0;
}

std::int32_t ScriptedBrowser::IdOfName(std::string_view) { return -1; }

std::vector<core::EventMember> ScriptedBrowser::EventMembers() {
  return {{102, false}, {104, false}, {106, false}, {108, false}, {250, true}, {259, false}};
}

bool ScriptedBrowser::Connect(core::EventSink* sink) {
  if (!sink && sink_) Record("browser disconnected");
  sink_ = sink;
  return true;
}

void ScriptedBrowser::FireStatusText(const char* text) {
  if (sink_) sink_->OnEvent(102, {text ? core::Variant::Text(text) : core::Variant::Empty()});
}
void ScriptedBrowser::FireProgress(std::int32_t progress, std::int32_t maximum) {
  if (sink_) sink_->OnEvent(108, {core::Variant::Int(progress), core::Variant::Int(maximum)});
}
void ScriptedBrowser::FireDocumentComplete() {
  if (sink_) sink_->OnEvent(259, {core::Variant::Int(0x1234), core::Variant::Int(0x5678)});
}

}  // namespace headless

// ---- core.h ---------------------------------------------------------------

namespace core {

using headless::S;
using headless::Record;

void Initialize() { Record("initialize"); }

void SetExitRoutine(Handler routine) { S().exit_routine = routine; }

void RunMessageLoop() {
  // Runs queued work while a window exists; an idle queue ends the loop here,
  // as no user is there to produce more.
  while (!S().windows.empty() && headless::RunOne()) {
  }
}

void Exit(int code) {
  auto run = [code] {
    if (S().exited) return;
    S().exited = true;
    headless::RunExitRoutine();
    Record("exit " + std::to_string(code));
    S().windows.clear();
  };
  if (std::this_thread::get_id() == S().gui) {
    run();
  } else {
    Record("exit posted");
    headless::Post(run);
  }
}

bool LoadWindow(const WindowDef& window, const WindowDef* /*parent*/, bool dialog) {
  auto& s = S();
  if (headless::Find(window)) return true;
  if (s.fail_next_load) {
    s.fail_next_load = false;
    if (s.windows.empty()) {
      Record("fatal -1");
      s.exited = true;
      s.exit_routine = nullptr;
    }
    return false;
  }
  headless::WindowState ws;
  ws.def = &window;
  ws.handle = s.next_handle++;
  const bool has_bar = std::any_of(window.menus.begin(), window.menus.end(), [](auto& m) { return m.visible; });
  ws.client_width = window.width - s.frame_w;
  ws.client_height = window.height - s.frame_h + (has_bar ? 0 : 20);
  const Point at = CenteredOrigin(s.screen_w, s.screen_h, window.width, window.height);
  ws.left = at.x;
  ws.top = at.y;
  ws.modal = dialog;
  for (const ControlDef& c : window.controls) {
    headless::ControlState cs;
    cs.def = &c;
    cs.left = c.left, cs.top = c.top, cs.width = c.width, cs.height = c.height;
    cs.visible = c.visible;
    cs.caption = c.caption;
    cs.position = c.position;
    for (const statusbar::Part& p : c.parts) cs.parts.push_back(p.text);
    ws.controls[c.name] = cs;
  }
  headless::DockStatusBars(ws);
  if (dialog)
    for (auto& [def, other] : s.windows) other.disabled = true;
  s.windows[&window] = std::move(ws);
  Record("created " + window.name);
  common::Raise(window, "", Event::kCreated);
  if (!headless::Find(window)) return true;
  Record("moved " + window.name);
  common::Raise(window, "", Event::kMoved);
  Record("resized " + window.name);
  common::Raise(window, "", Event::kResized);
  Record("shown " + window.name);
  if (auto it = s.when_shown.find(&window); it != s.when_shown.end()) {
    auto action = it->second;
    action();
  }
  if (dialog) {
    while (headless::Find(window)) {
      if (!headless::RunOne()) {
        Record("abandoned " + window.name);
        headless::DestroyNow(window);
      }
    }
  }
  return true;
}

void DestroyWindow(const WindowDef& window, bool immediately) {
  if (immediately && std::this_thread::get_id() == S().gui) {
    headless::DestroyNow(window);
    return;
  }
  headless::Post([&window] { headless::DestroyNow(window); });
}

bool IsLoaded(const WindowDef& window) { return headless::Find(window) != nullptr; }

int ClientWidth(const WindowDef& window) {
  auto* ws = headless::Find(window);
  return ws ? ws->client_width : 0;
}
int ClientHeight(const WindowDef& window) {
  auto* ws = headless::Find(window);
  return ws ? ws->client_height : 0;
}
Handle WindowHandle(const WindowDef& window) {
  auto* ws = headless::Find(window);
  return ws ? ws->handle : 0;
}

void MoveNativeWindow(Handle handle, int left, int top, int width, int height, bool /*repaint*/) {
  auto it = S().natives.find(handle);
  if (handle == 0 || it == S().natives.end()) return;
  it->second = {left, top, std::max(width, 0), std::max(height, 0)};
}

int ScreenWidth() { return S().screen_w; }
int ScreenHeight() { return S().screen_h; }

void PopupMenu(const WindowDef& owner, std::string_view menu) {
  const MenuDef* m = owner.FindMenu(menu);
  if (!m) return;
  headless::Popup p{owner.name, m->id, S().cursor_x + 3, S().cursor_y + 3, {}};
  for (const MenuItemDef& i : m->items) p.items.push_back(i.text);
  S().popups.push_back(p);
  Record("popup " + m->id);
  if (auto choice = S().popup_choice) {
    S().popup_choice.reset();
    common::RaiseMenu(owner, *choice);
  }
}

void SetProperty(const WindowDef& window, std::string_view control, int property, std::int64_t value) {
  headless::ControlState* c = headless::FindControl(window, control);
  if (!c) return;
  Record("set " + window.name + " " + std::string(control) + " " + std::to_string(property) + " " +
         std::to_string(value));
  const int clamped = static_cast<int>(std::max<std::int64_t>(value, 0));
  switch (property) {
    case kLeft: c->left = static_cast<int>(value); break;
    case kTop: c->top = static_cast<int>(value); break;
    case kWidth: c->width = clamped; break;
    case kHeight: c->height = clamped; break;
    case kTag: c->tag = value; break;
    case kVisible: c->visible = value != 0; break;
    case kDisabled: c->disabled = value != 0; break;
    case kPosition: c->position = value; break;
    default: break;
  }
}

void SetProperty(const WindowDef& window, std::string_view control, int property, std::string_view text) {
  headless::ControlState* c = headless::FindControl(window, control);
  if (!c) return;
  Record("set " + window.name + " " + std::string(control) + " " + std::to_string(property) + " \"" +
         std::string(text) + "\"");
  if (property == kCaption) c->caption = text;
}

std::int64_t GetProperty(const WindowDef& window, std::string_view control, int property) {
  const headless::ControlState* c = headless::FindControl(window, control);
  if (!c) return 0;
  switch (property) {
    case kLeft: return c->left;
    case kTop: return c->top;
    case kWidth: return c->width;
    case kHeight: return c->height;
    case kTag: return c->tag;
    case kVisible: return c->visible ? 1 : 0;
    case kDisabled: return c->disabled ? 1 : 0;
    case kPosition: return c->position;
    default: return 0;
  }
}

std::string GetTextProperty(const WindowDef& window, std::string_view control, int property) {
  const headless::ControlState* c = headless::FindControl(window, control);
  return c && property == kCaption ? c->caption : std::string();
}

int ShowMessageBox(std::string_view text, std::string_view caption, int flags) {
  headless::MessageBoxRecord r{std::string(text), caption.empty() ? "信息：" : std::string(caption), flags,
                               std::this_thread::get_id()};
  std::function<std::optional<int>(const headless::MessageBoxRecord&)> action;
  std::optional<int> answer;
  {
    headless::Lock l(S().mutex);
    S().boxes.push_back(r);
    Record("message " + r.text);
    action = S().while_box;
    if (!S().answers.empty()) {
      answer = S().answers.front();
      S().answers.pop_front();
    }
  }
  if (action)
    if (auto a = action(r)) answer = a;
  return answer.value_or(kAnswerOk);
}

std::string RunDirectory() { return S().run_dir; }
std::string CurrentDirectory() { return S().cur_dir; }
std::string ExecutableName() { return S().exe_name; }
std::string_view PathSeparator() { return S().separator; }

bool WriteFileBytes(std::string_view path, std::string_view bytes) {
  const std::string full = headless::Resolve(path);
  {
    headless::Lock l(S().mutex);
    S().file_writes.push_back("write " + std::string(path));
  }
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool RemoveFile(std::string_view path) {
  {
    headless::Lock l(S().mutex);
    S().file_writes.push_back("remove " + std::string(path));
  }
  std::error_code ec;
  return std::filesystem::remove(headless::Resolve(path), ec);
}

std::string ReadFileHead(std::string_view path, std::size_t max) {
  std::ifstream in(headless::Resolve(path), std::ios::binary);
  if (!in) return {};
  std::string out;
  char buffer[4096];
  while (in && (max == 0 || out.size() < max)) {
    const std::size_t want = max == 0 ? sizeof buffer : std::min(sizeof buffer, max - out.size());
    in.read(buffer, static_cast<std::streamsize>(want));
    out.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
  return out;
}

std::int64_t FileSize(std::string_view path) {
  std::error_code ec;
  const auto n = std::filesystem::file_size(headless::Resolve(path), ec);
  return ec ? -1 : static_cast<std::int64_t>(n);
}

bool RunProgram(std::string_view command, bool wait, bool hidden) {
  headless::Lock l(S().mutex);
  S().runs.push_back({std::string(command), wait, hidden});
  return S().run_result;
}

std::string_view ExecutableSignature() { return "MZ"; }

std::string TextToAnsiBytes(std::string_view text) { return std::string(text); }

}  // namespace core

// ---- status bar, tabs, shell, HTTP read -----------------------------------

namespace statusbar {

void SetText(const core::WindowDef& window, std::string_view control, int part, std::string_view text) {
  headless::ControlState* c = headless::FindControl(window, control);
  if (!c || part < 0 || part >= static_cast<int>(c->parts.size())) return;
  c->parts[static_cast<std::size_t>(part)] = text;
  headless::Record("status " + std::to_string(part) + " \"" + std::string(text) + "\"");
}

std::string GetText(const core::WindowDef& window, std::string_view control, int part) {
  const headless::ControlState* c = headless::FindControl(window, control);
  if (!c || part < 0 || part >= static_cast<int>(c->parts.size())) return {};
  return c->parts[static_cast<std::size_t>(part)];
}

}  // namespace statusbar

namespace tabs {
int CurrentTab(const core::WindowDef& window, std::string_view control) {
  const headless::ControlState* c = headless::FindControl(window, control);
  return c ? c->current_tab : 0;
}
}  // namespace tabs

namespace shell {
int Execute(std::string_view target, std::string_view verb, std::string_view parameters, std::string_view directory,
            int show) {
  headless::S().shell.push_back(std::string(target) + "|" + std::string(verb) + "|" + std::string(parameters) +
                                "|" + std::string(directory) + "|" + std::to_string(show));
  return 42;
}
}  // namespace shell

namespace internet {
std::string ReadFile(std::string_view address) {
  headless::S().http_reads.emplace_back(address);
  auto it = headless::S().http.find(std::string(address));
  return it == headless::S().http.end() ? std::string() : it->second;
}
}  // namespace internet

// ---- the ActiveX host's controls ------------------------------------------

namespace common {

CreatedControl CreateOcxControl(core::Handle parent, std::string_view prog_id, int x, int y, int width, int height,
                                int /*border*/) {
  auto it = headless::S().factories.find(std::string(prog_id));
  if (parent == 0 || it == headless::S().factories.end()) return {};
  CreatedControl c;
  c.object = it->second();
  if (!c.object) return {};
  c.window = headless::S().next_handle++;
  headless::S().natives[c.window] = {x, y, std::max(width, 0), std::max(height, 0)};
  return c;
}

int InstallOcxHook() {
  ++headless::S().hooks;
  return 1;
}

}  // namespace common

// ---- the recording downloader ---------------------------------------------

namespace netxfer {

struct Download::Impl {
  std::int64_t done = 0;
};

Download::Download() = default;
Download::~Download() { delete impl; }

bool AddTask(Download& download, const TaskParam& record) {
  headless::Lock l(headless::S().mutex);
  if (download.impl) return false;
  headless::AddedTask t;
  t.record = record;
  t.url = record.Url ? record.Url : "";
  t.local_path = record.LocalPath ? record.LocalPath : "";
  t.referer = record.Referer ? record.Referer : "";
  t.proxy = record.HttpProxy ? record.HttpProxy : "";
  t.record.Url = t.record.LocalPath = t.record.FtpUser = t.record.FtpPassword = nullptr;
  t.record.FtpAltName = t.record.BinaryExtensions = t.record.HttpProxy = t.record.Referer = nullptr;
  headless::S().tasks.push_back(std::move(t));
  download.impl = new Download::Impl();
  return true;
}

std::int64_t DoneLength(const Download& download) { return download.impl ? download.impl->done : 0; }

void Destroy(Download& download) {
  headless::Lock l(headless::S().mutex);
  ++headless::S().downloads_destroyed;
  headless::Record("download destroyed");
  delete download.impl;
  download.impl = nullptr;
}

}  // namespace netxfer

namespace headless {

void SetDoneLength(netxfer::Download& download, std::int64_t bytes) {
  if (download.impl) download.impl->done = bytes;
}

void EndTask(netxfer::Download& download) {
  delete download.impl;
  download.impl = nullptr;
}

}  // namespace headless
