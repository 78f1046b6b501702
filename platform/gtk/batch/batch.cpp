// vondrel-batch: carries a replace script ("5update.bat") out on Linux.
//
//   vondrel-batch SCRIPT
//
// Commands, one a line, names relative to the current directory and quoted
// when they hold spaces:
//   @echo off | echo off       nothing (nothing is echoed anyway)
//   Taskkill /f /im N          ends by force every process whose image name is N
//   Del N                      deletes N; "Del %0" deletes the script itself
//   ren A B                    renames A to B (fails when B exists)
//   start N | start "" "N"     makes N executable and starts it, detached
//   Exit                       ends the script
// Unknown lines are reported on stderr and skipped, as the interpreter would.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Base(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Splits a command line into words; double quotes group, "%%" is "%" and
// "%0" is the script.
std::vector<std::string> Words(const std::string& line, const std::string& script) {
  std::vector<std::string> out;
  std::string word;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (any) out.push_back(word), word.clear(), any = false;
    } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
      word += '%', ++i, any = true;
    } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '0') {
      word += script, ++i, any = true;
    } else {
      word += c, any = true;
    }
  }
  if (any) out.push_back(word);
  return out;
}

// The image name of a process: its executable's name, else its argv[0]'s.
bool HasImageName(pid_t pid, const std::string& name) {
  char buf[PATH_MAX];
  const std::string dir = "/proc/" + std::to_string(pid);
  const ssize_t n = readlink((dir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    std::string exe(buf, static_cast<std::size_t>(n));
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
      exe.resize(exe.size() - deleted.size());
    if (Base(exe) == name) return true;
  }
  std::ifstream cmdline(dir + "/cmdline", std::ios::binary);
  std::string argv0;
  std::getline(cmdline, argv0, '\0');
  return !argv0.empty() && Base(argv0) == name;
}

bool Alive(pid_t pid) {  // a zombie counts as ended
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return false;
  const auto paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] != 'Z';
}

int Taskkill(const std::vector<std::string>& w) {
  std::string name;
  for (std::size_t i = 1; i + 1 < w.size(); ++i)
    if (Lower(w[i]) == "/im") name = w[i + 1];
  if (name.empty()) {
    std::fprintf(stderr, "Taskkill: no image name\n");
    return 1;
  }
  std::vector<pid_t> killed;
  if (DIR* d = opendir("/proc")) {
    while (dirent* e = readdir(d)) {
      char* end = nullptr;
      const long pid = std::strtol(e->d_name, &end, 10);
      if (*end != '\0' || pid <= 1 || pid == getpid()) continue;
      if (HasImageName(static_cast<pid_t>(pid), name) && kill(static_cast<pid_t>(pid), SIGKILL) == 0)
        killed.push_back(static_cast<pid_t>(pid));
    }
    closedir(d);
  }
  if (killed.empty()) {
    std::fprintf(stderr, "Taskkill: no process named \"%s\"\n", name.c_str());
    return 1;
  }
  // wait for them to go, as the system does before the next line runs
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (pid_t pid : killed)
    while (Alive(pid) && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return 0;
}

int Del(const std::vector<std::string>& w) {
  int rc = 0;
  for (std::size_t i = 1; i < w.size(); ++i) {
    if (w[i].size() > 1 && w[i][0] == '/') continue;  // switches such as /f /q
    if (unlink(w[i].c_str()) != 0) {
      std::fprintf(stderr, "Del: cannot delete %s: %s\n", w[i].c_str(), std::strerror(errno));
      rc = 1;
    }
  }
  return rc;
}

int Ren(const std::vector<std::string>& w) {
  if (w.size() != 3) {
    std::fprintf(stderr, "ren: needs two names\n");
    return 1;
  }
  struct stat st;
  if (lstat(w[2].c_str(), &st) == 0) {
    std::fprintf(stderr, "ren: %s exists\n", w[2].c_str());
    return 1;
  }
  if (rename(w[1].c_str(), w[2].c_str()) != 0) {
    std::fprintf(stderr, "ren: %s: %s\n", w[1].c_str(), std::strerror(errno));
    return 1;
  }
  return 0;
}

int Start(const std::vector<std::string>& w) {
  // start ["title"] program [arguments]: a first quoted word is the title
  std::size_t at = 1;
  if (w.size() > 2 && w[1].empty()) at = 2;
  if (at >= w.size()) return 1;
  std::string program = w[at];
  struct stat st;
  if (stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode))
    chmod(program.c_str(), st.st_mode | S_IXUSR | S_IXGRP | S_IXOTH);  // as any .exe would run
  if (program.find('/') == std::string::npos && access(program.c_str(), X_OK) == 0) program = "./" + program;
  std::vector<std::string> args(w.begin() + static_cast<long>(at), w.end());
  args[0] = program;
  const pid_t pid = fork();
  if (pid < 0) return 1;
  if (pid == 0) {
    setsid();
    if (fork() != 0) _exit(0);  // the grandchild runs on, owned by nobody here
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "start: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vondrel-batch SCRIPT\n");
    return 2;
  }
  const std::string script = argv[1];
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vondrel-batch: cannot read %s\n", script.c_str());
    return 1;
  }
  std::stringstream all;
  all << in.rdbuf();
  in.close();
  std::istringstream lines(all.str());
  std::string line;
  int rc = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> w = Words(line, script);
    if (w.empty()) continue;
    std::string verb = Lower(w[0]);
    if (!verb.empty() && verb[0] == '@') verb.erase(0, 1);
    if (verb == "echo" || verb == "rem" || verb == "::") continue;
    if (verb == "exit") break;
    if (verb == "taskkill") rc = Taskkill(w);
    else if (verb == "del" || verb == "erase") rc = Del(w);
    else if (verb == "ren" || verb == "rename") rc = Ren(w);
    else if (verb == "start") rc = Start(w);
    else {
      std::fprintf(stderr, "vondrel-batch: unknown command: %s\n", w[0].c_str());
      rc = 1;
    }
  }
  return rc;
}
