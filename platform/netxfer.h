// The network transfer library: a Download object runs one segmented HTTP
// download task on threads of its own and reports it through TaskParam's
// event callback.
//
// Implementations: the real engine (platform/common/net/engine.cpp) for
// the programs, a recording one (platform/headless) for the unit tests.
#pragma once

#include <cstdint>

namespace netxfer {

// EventCallback: (type, first, second, third, task) -> result.
using EventRoutine = std::intptr_t (*)(std::intptr_t type, std::intptr_t first, std::intptr_t second,
                                        std::intptr_t third, std::intptr_t task);
// Progress messages as text; unused by the program.
using MessageRoutine = void (*)(const char* text);

// The task record: twenty consecutive pointer-sized fields (80 bytes on
// 32-bit targets). Texts are zero-terminated, ANSI, owned by the record
// (allocated with malloc); null for none.
struct TaskParam {
  std::int32_t Flags;           // bits 8-15: 16 (4096) download, 32 (8192) upload
  char* Url;                    // http://host[:port]/path
  char* LocalPath;              // full path of the file to write
  char* FtpUser;
  char* FtpPassword;
  std::int32_t Connections;     // parallel connections = segments
  std::int32_t SpeedLimit;      // bytes/s for the whole task, 0 = none
  std::int32_t ConnectTimeout;  // ms
  std::int32_t SendTimeout;     // ms
  std::int32_t ReceiveTimeout;  // ms
  std::int32_t StopWait;        // ms to wait for connections on stop
  std::int32_t ReceiveBlock;    // bytes per receive call
  std::int32_t SendBlock;       // bytes per send call of an upload
  MessageRoutine MessageCallback;
  EventRoutine EventCallback;
  char* FtpAltName;
  std::int32_t FtpTransferType;  // 1 binary, 3 by extension, else ASCII
  char* BinaryExtensions;        // ".exe|.rar|..."
  char* HttpProxy;               // host or host:port; used when not empty
  char* Referer;                 // null: the address up to its last "/"
};

// Field layout on 32-bit targets, where every field is 4 bytes wide.
static_assert(sizeof(void*) != 4 || sizeof(TaskParam) == 80, "TaskParam must be 80 bytes on 32-bit targets");

// Record helpers (platform/common/taskparam.cpp).
// Replaces a text field by a fresh copy of `text` (freeing the old one).
void SetText(char*& field, const char* text);
// The start-up values, field by field, on a record cleared to zeros.
void SetStartupDefaults(TaskParam& task);
// Frees the text fields: Url, LocalPath, FtpUser, FtpPassword, FtpAltName,
// BinaryExtensions, HttpProxy, Referer; each is null afterwards.
void FreeTexts(TaskParam& task);

enum : std::int32_t { kFlagDownload = 4096, kFlagUpload = 8192 };

// Event types.
enum : std::int32_t {
  kEventFtpFileExists = 2,
  kEventTotalSize = 3,       // first: task, second: total size, third: local path (const char*)
  kEventTaskEnded = 4,       // first: task, second: total (ended by itself) or bytes received (stopped)
  kEventConnStarted = 5,     // first: connection
  kEventSegmentStarted = 6,  // first: connection, second: start, third: end
  kEventSegmentTakenOver = 7,
  kEventConnEnded = 8,       // first: connection, second: position reached
  kEventConnFailed = 9,
  kEventReceived = 16,       // first: connection, second: bytes
  kEventSent = 17,
  kEventFileExists = 18,     // first: existing size, second: total; result 0 numbered name, 1 give up, 2 renamed
};

class Download {
 public:
  Download();
  ~Download();
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;
  struct Impl;
  Impl* impl = nullptr;  // set up only when a task is added
};

// Starts the task on a thread of the library and returns at once. Fails when
// the object already holds a task, the address has no host or its scheme is
// not http, or the thread cannot start.
bool AddTask(Download& download, const TaskParam& record);
// Bytes received so far over all connections; 0 when no task is held.
std::int64_t DoneLength(const Download& download);
// Stops a running task, waits at most StopWait ms (20 ms steps) for its
// connections, forgets the task. The partial file stays.
void Destroy(Download& download);

}  // namespace netxfer
