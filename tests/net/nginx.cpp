#include "tests/net/nginx.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef NETTEST_WORK_DIR
#define NETTEST_WORK_DIR "/tmp"
#endif

namespace nettest {

namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string MakeWorkDir(std::string_view name) {
  const std::string dir = std::string(NETTEST_WORK_DIR) + "/" + std::string(name) + "-" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

void WriteFile(const std::string& path, std::string_view data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string ReadWholeFile(const std::string& path, bool* exists) {
  std::ifstream f(path, std::ios::binary);
  if (exists) *exists = static_cast<bool>(f);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

Nginx::Nginx(const std::string& root, std::string_view extra) {
  dir_ = MakeWorkDir("nginx");
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreePort();
    std::ostringstream c;
    c << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
      << "error_log " << dir_ << "/error.log;\npid " << dir_ << "/nginx.pid;\n"
      << "events { worker_connections 256; }\n"
      << "http {\n  access_log " << dir_ << "/access.log;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
      c << "  " << t << "_temp_path " << dir_ << "/" << t << ";\n";
    c << "  sendfile on;\n  server {\n    listen 127.0.0.1:" << port_ << ";\n    root " << root << ";\n"
      << "    " << extra << "\n  }\n}\n";
    WriteFile(dir_ + "/nginx.conf", c.str());
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execlp("nginx", "nginx", "-p", dir_.c_str(), "-c", (dir_ + "/nginx.conf").c_str(), "-e",
               (dir_ + "/error.log").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      if (Accepts(port_)) {
        pid_ = pid;
        break;
      }
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) break;  // it could not start (port taken?)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ < 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  if (pid_ < 0) throw std::runtime_error("nginx did not start; see " + dir_ + "/error.log");
}

Nginx::~Nginx() {
  ::kill(pid_, SIGQUIT);
  int status = 0;
  for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (::waitpid(pid_, &status, WNOHANG) == 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  RemoveTree(dir_);
}

std::string Nginx::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string Nginx::AccessLog() const { return ReadWholeFile(dir_ + "/access.log"); }

}  // namespace nettest
