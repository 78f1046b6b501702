// The headless backend: windows, controls and the platform in memory, for
// the unit tests. Implements every platform header; this header is the
// tests' handle on it: drive events, script the browser, answer message
// boxes, read what the program did.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/windef.h"
#include "platform/core.h"
#include "platform/netxfer.h"

namespace headless {

// ---- the whole backend ----------------------------------------------------

// Forgets every window, binding, record and setting; makes a fresh temporary
// folder that is both the run directory and the current directory.
void Reset();
// The program's whole run: StartProgram, then the shutdown with the exit routine.
// Here the message loop returns once the queue is idle, so a test may also
// call StartProgram itself, act on the open windows, then Shutdown.
int RunProgram();
// The platform's shutdown after the loop: the exit routine, once.
void Shutdown();
void SetScreen(int width, int height);
void SetStatusBarHeight(int height);
// Outer size minus this gives the client area (frame and menu bar).
void SetFrame(int horizontal, int vertical);
// The next LoadWindow fails.
void FailNextLoad();

// Runs queued work (posted destroys, exit commands from other threads).
void Pump();
// Work to run when a window has been shown (inside a modal load too).
void WhenShown(const core::WindowDef& window, std::function<void()> action);

// ---- windows and controls -------------------------------------------------

struct ControlState {
  const core::ControlDef* def = nullptr;
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true, disabled = false;
  std::int64_t tag = 0, position = 0;
  std::string caption;
  std::vector<std::string> parts;  // status bar texts
  int current_tab = 0;
};

struct WindowState {
  const core::WindowDef* def = nullptr;
  core::Handle handle = 0;
  int left = 0, top = 0, client_width = 0, client_height = 0;
  bool disabled = false, modal = false;
  std::map<std::string, ControlState> controls;
};

bool IsLoaded(const core::WindowDef& window);
const WindowState& Window(const core::WindowDef& window);
const ControlState& Control(const core::WindowDef& window, const std::string& control);
// Changes the client size: the status bar is docked again, then the size event.
void Resize(const core::WindowDef& window, int client_width, int client_height);
// User input; false when the window takes no input (absent or disabled).
bool Click(const core::WindowDef& window, const std::string& control);
bool ChooseMenu(const core::WindowDef& window, const std::string& item);
bool PressEscape(const core::WindowDef& window);
bool PressEnter(const core::WindowDef& window);
bool CloseBox(const core::WindowDef& window);
bool SelectTab(const core::WindowDef& window, const std::string& control, int tab);
void Tick(const core::WindowDef& window, const std::string& timer);

// Everything that happened, in order: "created MainWindow", "moved MainWindow",
// "resized MainWindow", "shown MainWindow", "destroyed MainWindow",
// "set MainWindow 标签1 5 0", "exit routine", "exit 0", "fatal -1", ...
std::vector<std::string> Log();
void ClearLog();

// ---- native child windows -------------------------------------------------

struct NativeRect {
  int left, top, width, height;
};
std::optional<NativeRect> NativeWindow(core::Handle handle);

// ---- popup menus ----------------------------------------------------------

struct Popup {
  std::string owner, menu;
  int x, y;  // where the menu was shown
  std::vector<std::string> items;  // texts, "-" for separators
};
void SetCursor(int x, int y);
// The item the user picks in the next popup (none: dismissed).
void ChooseInNextPopup(std::string item);
std::vector<Popup> Popups();

// ---- message boxes --------------------------------------------------------

struct MessageBoxRecord {
  std::string text, caption;
  int flags;
  std::thread::id thread;
};
// Answers for the next boxes, in order; when none is queued: OK (0).
void AnswerMessageBoxes(std::vector<int> answers);
// Runs while a box is up (for work inside its own loop); returns its answer.
void WhileMessageBox(std::function<std::optional<int>(const MessageBoxRecord&)> action);
std::vector<MessageBoxRecord> MessageBoxes();

// ---- browser control ------------------------------------------------------

// A control factory entry: what a ProgID creates (none registered: creation fails).
void RegisterControl(const std::string& prog_id, std::function<core::ComObject()> factory);

struct Call {
  std::int32_t dispid;
  int flags;
  std::vector<core::Variant> args;
};

// A scripted HTML document: title, execCommand recorded, oncontextmenu raised.
class ScriptedDocument : public core::Dispatch {
 public:
  std::string title;
  std::vector<std::vector<core::Variant>> exec_commands;
  bool has_events = true;

  std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                      core::Variant* result) override;
  std::int32_t IdOfName(std::string_view name) override;
  std::vector<core::EventMember> EventMembers() override;
  bool Connect(core::EventSink* sink) override;
  // The page's right-click: true when the browser's own menu may show.
  bool RaiseContextMenu();
  bool connected() const { return sink_ != nullptr; }

 private:
  core::EventSink* sink_ = nullptr;
};

// A scripted "Shell.Explorer.2": records invokes, fires its events.
class ScriptedBrowser : public core::Dispatch {
 public:
  std::vector<Call> calls;
  std::shared_ptr<ScriptedDocument> document;  // null: no document yet
  std::function<void(const Call&)> on_call;

  std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<core::Variant>& args,
                      core::Variant* result) override;
  std::int32_t IdOfName(std::string_view name) override;
  std::vector<core::EventMember> EventMembers() override;
  bool Connect(core::EventSink* sink) override;

  void FireStatusText(const char* text);
  void FireProgress(std::int32_t progress, std::int32_t maximum);
  void FireDocumentComplete();
  bool connected() const { return sink_ != nullptr; }

 private:
  core::EventSink* sink_ = nullptr;
};

// Registers a ScriptedBrowser under "Shell.Explorer.2" and returns it.
std::shared_ptr<ScriptedBrowser> InstallBrowser();
int HookInstalls();

// ---- HTTP read, downloader, shell, files, processes -----------------------

void SetHttpResponse(const std::string& url, std::string body);
std::vector<std::string> HttpReads();

struct AddedTask {
  netxfer::TaskParam record;  // texts point into the strings below
  std::string url, local_path, referer, proxy;
};
std::vector<AddedTask> AddedTasks();
void SetDoneLength(netxfer::Download& download, std::int64_t bytes);
// The held task ends (the object holds none afterwards).
void EndTask(netxfer::Download& download);
int DownloadsDestroyed();

std::vector<std::string> ShellExecutes();

struct ProgramRun {
  std::string command;
  bool wait, hidden;
};
std::vector<ProgramRun> ProgramRuns();
void SetRunProgramResult(bool started);

// The temporary folder of this test (run and current directory).
std::string Folder();
void SetRunDirectory(std::string path);
void SetCurrentDirectory(std::string path);
void SetExecutableName(std::string name);
void SetPathSeparator(std::string separator);
// Files the program wrote or removed, by path.
std::vector<std::string> FileWrites();

}  // namespace headless
