// The small operating-system shim under the downloader and the read: TCP
// sockets with time limits, and the positioned file writes of a download.
// socket_posix.cpp and socket_win32.cpp implement it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vnet {

using Socket = std::intptr_t;
constexpr Socket kNoSocket = -1;

// Waits inside the shim are cut into slices of this length so that a stop
// request is noticed.
constexpr int kStopSliceMs = 50;

// Resolves `host` and connects to `port` within `timeout_ms`; gives up when
// `stop` becomes true. kNoSocket on failure.
Socket Connect(const std::string& host, int port, int timeout_ms, const std::atomic<bool>* stop);
// Sends all of `data`; every wait for room is limited to `timeout_ms`.
bool SendAll(Socket s, const char* data, std::size_t size, int timeout_ms, const std::atomic<bool>* stop);
// Receives at most `size` bytes, waiting at most `timeout_ms` for them.
// Returns the count, 0 when the peer has closed, -1 on error, time-out or stop.
long Receive(Socket s, char* buffer, std::size_t size, int timeout_ms, const std::atomic<bool>* stop);
// Receives at most `size` bytes only if some are there already: the count, 0
// when the peer has closed, -1 when nothing is there (or on an error, which
// the next Receive reports).
long ReceiveNow(Socket s, char* buffer, std::size_t size);
void Close(Socket s);

using File = std::intptr_t;
constexpr File kNoFile = -1;

// Creates `path` for writing: with `exclusive` only when it does not exist,
// otherwise truncating an existing file.
File OpenForWrite(const std::string& path, bool exclusive);
bool WriteAt(File f, const char* data, std::size_t size, std::int64_t offset);
bool Truncate(File f, std::int64_t size);
void CloseFile(File f);
// The size of an existing file, -1 when there is none.
std::int64_t ExistingFileSize(const std::string& path);

}  // namespace vnet
