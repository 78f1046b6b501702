// Knobs of the downloader for the tests and the fetch tool; the program uses
// the defaults. They apply to tasks added after the call.
#pragma once

namespace vnet {

constexpr int kDefaultRetryPauseMs = 5000;
constexpr int kDefaultMaxRetries = 999;

// Pause before a connection fault is retried, and how many retries in a row
// a connection makes before it gives up.
void SetRetryPolicy(int pause_ms, int max_retries);

}  // namespace vnet
