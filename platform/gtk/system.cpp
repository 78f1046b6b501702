// Files and processes on Linux, and the shell's execute through the
// desktop's default programs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/gtk/gtk_backend.h"
#include "platform/shell.h"

extern char** environ;

namespace gtkb {

namespace {

std::string SelfPath() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool EndsWithBat(std::string_view command) {
  std::string first(command.substr(0, command.find(' ')));
  if (first.size() >= 2 && first.front() == '"' && first.back() == '"') first = first.substr(1, first.size() - 2);
  if (first.size() < 4) return false;
  std::string ext = first.substr(first.size() - 4);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return ext == ".bat" || ext == ".cmd";
}

// The helper that carries replace scripts out: next to the program, else on the PATH.
std::string BatchHelper() {
  const std::string beside = core::RunDirectory() + "/vondrel-batch";
  if (access(beside.c_str(), X_OK) == 0) return beside;
  return "vondrel-batch";
}

}  // namespace

// Recorded before anything else: the program's own path as started.
struct SelfInit {
  SelfInit() {
    const std::string self = SelfPath();
    const auto slash = self.rfind('/');
    S().run_directory = slash == std::string::npos ? std::string() : self.substr(0, slash == 0 ? 1 : slash);
    S().executable_name = slash == std::string::npos ? self : self.substr(slash + 1);
  }
};
static SelfInit self_init;

}  // namespace gtkb

namespace core {

std::string RunDirectory() { return gtkb::S().run_directory; }

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

std::string ExecutableName() { return gtkb::S().executable_name; }

std::string_view PathSeparator() { return "/"; }

bool WriteFileBytes(std::string_view path, std::string_view bytes) {
  const std::string p(path);
  const int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0 && done == bytes.size();
}

bool RemoveFile(std::string_view path) { return unlink(std::string(path).c_str()) == 0; }

std::string ReadFileHead(std::string_view path, std::size_t max) {
  const int fd = open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string out;
  char buf[65536];
  while (max == 0 || out.size() < max) {
    const std::size_t want = max == 0 ? sizeof buf : std::min(sizeof buf, max - out.size());
    const ssize_t n = read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return out;
}

std::int64_t FileSize(std::string_view path) {
  struct stat st;
  if (stat(std::string(path).c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

// A batch file runs through vondrel-batch; any other command line through
// the shell. The child inherits the current directory and no descriptors.
bool RunProgram(std::string_view command, bool wait, bool /*hidden: there is no console window*/) {
  std::vector<std::string> argv;
  if (gtkb::EndsWithBat(command)) {
    std::string script(command);
    if (script.size() >= 2 && script.front() == '"') script = script.substr(1, script.find('"', 1) - 1);
    argv = {gtkb::BatchHelper(), script};
  } else {
    argv = {"/bin/sh", "-c", std::string(command)};
  }
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int rc = argv[0].find('/') == std::string::npos
                     ? posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ)
                     : posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  if (wait) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  } else {
    // reaped in the background so it leaves no zombie
    g_child_watch_add(pid, [](GPid p, gint, gpointer) { g_spawn_close_pid(p); }, nullptr);
  }
  return true;
}

std::string_view ExecutableSignature() { return "\x7f" "ELF"; }

std::string TextToAnsiBytes(std::string_view text) { return std::string(text); }  // UTF-8 is the system's encoding

}  // namespace core

namespace shell {

namespace {

// A target without a scheme: an existing file, else a host name for the browser.
std::string AsUri(const std::string& target) {
  if (target.find(':') != std::string::npos) return target;
  if (access(target.c_str(), F_OK) == 0) {
    gchar* uri = g_filename_to_uri(target.front() == '/' ? target.c_str()
                                                         : (core::CurrentDirectory() + "/" + target).c_str(),
                                   nullptr, nullptr);
    std::string out = uri ? uri : target;
    g_free(uri);
    return out;
  }
  return "http://" + target;
}

}  // namespace

// Like the system call: above 32 on success; 2 (not found) or 31 (no
// program for it) otherwise.
int Execute(std::string_view target, std::string_view /*verb*/, std::string_view /*parameters*/,
            std::string_view /*directory*/, int /*show*/) {
  if (target.empty()) return 2;
  const std::string uri = AsUri(std::string(target));
  GError* error = nullptr;
  const gboolean ok = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error);
  if (error) g_error_free(error);
  return ok ? 42 : 31;
}

}  // namespace shell
