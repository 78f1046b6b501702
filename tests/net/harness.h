// Runs one download task and records what it reported.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/netxfer.h"

namespace nettest {

struct Ev {
  std::intptr_t type, first, second, third;
  std::thread::id thread;
  std::string text;  // event 3: the local path
};

struct Result {
  bool added = false;
  bool ended = false;       // event 4 arrived within the time limit
  std::vector<Ev> events;
  std::int64_t done = -1;   // DoneLength read inside event 4
  std::int64_t total = -1;  // event 3
  std::string path;         // event 3
  bool file_exists = false;
  std::string file;         // the file of event 3 (or the record's) after the task
  double seconds = 0;

  int Count(std::intptr_t type) const;
  std::vector<Ev> Of(std::intptr_t type) const;
};

// The update's record values with `url` and `path`; texts owned by the record.
netxfer::TaskParam UpdateRecord(const std::string& url, const std::string& path);

struct RunOptions {
  std::function<void(netxfer::TaskParam&)> tweak;
  // Answers events (18 above all); 0 when unset.
  std::function<std::intptr_t(const Ev&)> answer;
  int limit_ms = 30000;
};

// Adds the task to a fresh Download, waits for event 4 and for the task to be
// released, then destroys the object.
Result RunTask(const std::string& url, const std::string& path, const RunOptions& options = {});

// Every task ends in a byte-identical file reported complete, or in a clean
// failure: never a file of the full size that is not the body, and the file
// on disk is always a prefix of the body.
void ExpectHonest(const Result& r, const std::string& body);
void ExpectComplete(const Result& r, const std::string& body);

}  // namespace nettest
