// nginx on 127.0.0.1, started for a test from a generated configuration in a
// folder of its own, in the foreground, stopped by the destructor.
#pragma once

#include <string>
#include <string_view>

namespace nettest {

class Nginx {
 public:
  // `extra` goes into the server block (locations of the test).
  explicit Nginx(const std::string& root, std::string_view extra = "");
  ~Nginx();
  Nginx(const Nginx&) = delete;
  Nginx& operator=(const Nginx&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path) const;
  std::string AccessLog() const;

 private:
  std::string dir_;
  int port_ = 0;
  int pid_ = -1;
};

// A fresh folder under the build tree for one test process; removed by the caller.
std::string MakeWorkDir(std::string_view name);
void RemoveTree(const std::string& path);
void WriteFile(const std::string& path, std::string_view data);
std::string ReadWholeFile(const std::string& path, bool* exists = nullptr);

}  // namespace nettest
