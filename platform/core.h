// The core library: start-up and exit, windows loaded from their definitions,
// the message loop, control properties, menus, message boxes, conversions,
// files, processes, and the COM object and variant values.
//
// Implemented by exactly one backend (headless, gtk, win32); the conversions
// live in platform/common and are the same everywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

struct WindowDef;  // platform/common/windef.h

// A native window handle (HWND on Windows); 0 for none.
using Handle = std::intptr_t;

using Handler = void (*)();

// ---- start-up, loop, exit -------------------------------------------------

// OLE on the GUI thread, current directory = the executable's folder, window
// definitions and support libraries ready.
void Initialize();
void SetExitRoutine(Handler routine);
// Runs while a window of the program exists; returns when the last one is gone.
void RunMessageLoop();
// The exit command: the normal shutdown (exit routine once), then the process
// ends with `code`. From another thread it is handed to the GUI thread.
void Exit(int code);

// ---- windows --------------------------------------------------------------

// Creates the window and its controls with events held back, stacks them,
// raises created, moved and resized, then shows it centred. With `dialog`
// the other windows are disabled and the call returns once it is destroyed.
// Returns false when the window could not be created; when that window was to
// be the first one (the start window), the failure is fatal: an error box,
// exit code -1 and no exit routine.
bool LoadWindow(const WindowDef& window, const WindowDef* parent = nullptr, bool dialog = false);
// Any thread. Queued unless `immediately`: the window goes once the running handler returns.
void DestroyWindow(const WindowDef& window, bool immediately = false);
bool IsLoaded(const WindowDef& window);
int ClientWidth(const WindowDef& window);
int ClientHeight(const WindowDef& window);
Handle WindowHandle(const WindowDef& window);
// Moves a native child window; does nothing for handle 0. Negative sizes are 0.
void MoveNativeWindow(Handle handle, int left, int top, int width, int height, bool repaint);
int ScreenWidth();
int ScreenHeight();

// Events a handler can be bound to. Bindings are kept by the shared dispatch
// table (platform/common/dispatch.h); the backend raises them.
enum class Event { kCreated, kMoved, kResized, kClick, kTimer, kTabChanged };
// `control` empty: the window's own event.
void Bind(const WindowDef& window, std::string_view control, Event event, Handler handler);
// Binds a menu item by its id in the window's menu definitions.
void BindMenu(const WindowDef& window, std::string_view item, Handler handler);

// Pops up the items of a (hidden) top-level menu at the cursor moved by
// (3, 3), tracking the right button, owned by `owner`; the chosen item's
// handler runs before the call returns.
void PopupMenu(const WindowDef& owner, std::string_view menu);

// ---- control properties ---------------------------------------------------

enum Property : int {
  kLeft = 0,
  kTop = 1,
  kWidth = 2,
  kHeight = 3,
  kTag = 4,
  kVisible = 5,
  kDisabled = 6,
  kCursor = 7,
  kCaption = 8,   // label caption
  kContent = 8,   // edit box content
  kPosition = 13, // progress bar position
};

void SetProperty(const WindowDef& window, std::string_view control, int property, std::int64_t value);
void SetProperty(const WindowDef& window, std::string_view control, int property, std::string_view text);
inline void SetProperty(const WindowDef& window, std::string_view control, int property, int value) {
  SetProperty(window, control, property, static_cast<std::int64_t>(value));
}
inline void SetProperty(const WindowDef& window, std::string_view control, int property, const char* text) {
  SetProperty(window, control, property, std::string_view(text));
}
// Logical properties read as 1 or 0.
std::int64_t GetProperty(const WindowDef& window, std::string_view control, int property);
std::string GetTextProperty(const WindowDef& window, std::string_view control, int property);

// ---- message boxes --------------------------------------------------------

// Flags and answers use the system's numbering.
enum MessageBoxFlags : int {
  kOk = 0x0,
  kOkCancel = 0x1,
  kIconError = 0x10,
  kIconQuestion = 0x20,
  kIconWarning = 0x30,
  kIconInformation = 0x40,
};
enum MessageBoxAnswer : int { kAnswerOk = 0, kAnswerCancel = 1, kAnswerAbort = 2, kAnswerRetry = 3,
                              kAnswerIgnore = 4, kAnswerYes = 5, kAnswerNo = 6 };
// Any thread. No owner; modal to the calling thread's windows (from another
// thread the program's windows stay usable); an empty caption shows "信息：".
int ShowMessageBox(std::string_view text, std::string_view caption = {}, int flags = kOk);

// ---- files and processes --------------------------------------------------

// The executable's folder, no trailing separator.
std::string RunDirectory();
// The process's current directory; no trailing separator except at a root;
// empty when it cannot be read.
std::string CurrentDirectory();
// The file name part of the executable the program was started from.
std::string ExecutableName();
// The platform's path separator ("\\" on Windows, "/" elsewhere).
std::string_view PathSeparator();
// Creates or empties the file, writes the bytes, closes it.
bool WriteFileBytes(std::string_view path, std::string_view bytes);
bool RemoveFile(std::string_view path);
// Reads the first `max` bytes of a file (all when max is 0); empty if unreadable.
std::string ReadFileHead(std::string_view path, std::size_t max);
std::int64_t FileSize(std::string_view path);  // -1 when missing
// Starts a command line; with `wait`, waits for the process to end.
bool RunProgram(std::string_view command, bool wait, bool hidden);
// The platform's executable signature ("MZ", "\x7f" "ELF").
std::string_view ExecutableSignature();

// ---- conversions (platform/common/convert.cpp) ----------------------------

// atof over GBK bytes, full-width forms mapped to ASCII, rounded to float.
float TextToFloat(std::string_view text);
// Rounded to 6 significant digits, then "%.6g".
std::string FloatToText(float value);
// Half away from zero after adding 1e-12 to the magnitude.
double Round(double value, int digits = 0);
// Removes ASCII and full-width (UTF-8 and GBK) spaces at both ends.
std::string Trim(std::string_view text);
// The bytes up to the first zero byte.
std::string BytesToText(std::string_view bytes);
// The program text (UTF-8) in the system's ANSI code page, no terminating zero.
std::string TextToAnsiBytes(std::string_view text);

// ---- COM object and variant values ----------------------------------------

class Dispatch;
// A held automation reference; reset() releases it.
using ComObject = std::shared_ptr<Dispatch>;

struct Variant {
  enum class Type { kEmpty, kInt, kBool, kText, kObject };
  Type type = Type::kEmpty;
  std::int64_t i = 0;
  bool b = false;
  std::string text;
  ComObject object;

  static Variant Empty() { return {}; }
  static Variant Int(std::int64_t v) { Variant x; x.type = Type::kInt; x.i = v; return x; }
  static Variant Bool(bool v) { Variant x; x.type = Type::kBool; x.b = v; return x; }
  static Variant Text(std::string_view v) { Variant x; x.type = Type::kText; x.text = v; return x; }
  static Variant Object(ComObject v) { Variant x; x.type = Type::kObject; x.object = std::move(v); return x; }
  bool IsEmpty() const { return type == Type::kEmpty; }
};

enum InvokeFlags : int { kMethod = 1, kPropertyGet = 2, kPropertyPut = 4 };

// One member of an object's default event interface.
struct EventMember {
  std::int32_t dispid;
  bool returns_bool;  // declared VARIANT_BOOL result
};

// Receives an object's events: arguments in declared order; the result is
// used only for members that return a logical value.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual bool OnEvent(std::int32_t dispid, const std::vector<Variant>& args) = 0;
};

// The small portable dispatch interface behind a ComObject: a real IDispatch
// on Windows, a WebKit adapter on Linux, a scripted object in tests.
class Dispatch {
 public:
  virtual ~Dispatch() = default;
  // Returns an HRESULT-like status: 0 on success, negative on failure.
  virtual std::int32_t Invoke(std::int32_t dispid, int flags, const std::vector<Variant>& args, Variant* result) = 0;
  // DISPID of a named member, or -1 (DISPID_UNKNOWN).
  virtual std::int32_t IdOfName(std::string_view name) = 0;
  // The default event interface; an empty list when there is none.
  virtual std::vector<EventMember> EventMembers() { return {}; }
  // Connects (or, with nullptr, disconnects) the sink of the default event interface.
  virtual bool Connect(EventSink* sink) { (void)sink; return false; }
};

// Property read and method call by name (DISPATCH_PROPERTYGET / DISPATCH_METHOD).
Variant GetNamed(const ComObject& object, std::string_view name);
Variant CallNamed(const ComObject& object, std::string_view name, const std::vector<Variant>& args);
// A variant as text: text as is, integers in decimal, empty otherwise.
std::string VariantText(const Variant& v);

}  // namespace core
