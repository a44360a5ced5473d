#include "Velmora/RuntimeProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Velmora/registry/Paths.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

// The appliance's runtime program: the length limit of account names is
// that of its command line, wherever the program lives on a test machine.
constexpr const char* kApplianceRuntime = "/usr/bin/linux-x86-skypekit-voicertp-novideo";
constexpr size_t kCommandSize = 128;

std::string command_text(const std::string& program, int port, const std::string& name) {
  return program + "   -p " + std::to_string(port) + " -s /" + name + "/ &";
}

// Runs argv[0] with `argv` as a grandchild, so that it is detached at once
// (reparented to init, never left as a zombie of ours) and inherits none of
// our descriptors beyond standard input, output and error. Returns the
// grandchild's process id or -1.
pid_t spawn_detached(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;

  pid_t child = fork();
  if (child < 0) {
    close(report[0]);
    close(report[1]);
    return -1;
  }
  if (child == 0) {
    // Only async-signal-safe calls from here on.
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
      execv(argv[0], argv.data());
      _exit(127);
    }
    ssize_t ignored = write(report[1], &grandchild, sizeof grandchild);
    (void)ignored;
    _exit(grandchild < 0 ? 1 : 0);
  }
  close(report[1]);
  pid_t grandchild = -1;
  ssize_t got = read(report[0], &grandchild, sizeof grandchild);
  close(report[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (got != sizeof grandchild) return -1;
  return grandchild;
}

bool read_file(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *out = text.str();
  return true;
}

// One process of the listing, in the columns of `ps -ef`.
struct ProcessLine {
  std::string user;
  long pid = 0;
  long ppid = 0;
  long cpu = 0;
  std::string stime;
  std::string time;
  std::string cmd;
};

bool describe_process(long pid, const std::string& program, ProcessLine* line) {
  std::string dir = "/proc/" + std::to_string(pid);
  std::string cmdline;
  if (!read_file(dir + "/cmdline", &cmdline) || cmdline.empty()) return false;
  std::vector<std::string> args;
  for (size_t at = 0; at < cmdline.size();) {
    size_t nul = cmdline.find('\0', at);
    if (nul == std::string::npos) nul = cmdline.size();
    args.push_back(cmdline.substr(at, nul - at));
    at = nul + 1;
  }
  // The program itself, or a script run through its interpreter.
  bool is_runtime = (!args.empty() && args[0] == program) || (args.size() > 1 && args[1] == program);
  if (!is_runtime) return false;

  std::string stat;
  if (!read_file(dir + "/stat", &stat)) return false;
  // Fields after the command name, which is in parentheses and may hold blanks.
  size_t close_paren = stat.rfind(')');
  if (close_paren == std::string::npos) return false;
  std::istringstream fields(stat.substr(close_paren + 2));
  std::vector<std::string> f;
  for (std::string v; fields >> v;) f.push_back(v);
  if (f.size() < 20) return false;  // f[0] is field 3 (state)
  long ticks = sysconf(_SC_CLK_TCK);
  unsigned long long utime = strtoull(f[11].c_str(), nullptr, 10), stime = strtoull(f[12].c_str(), nullptr, 10);
  unsigned long long start_ticks = strtoull(f[19].c_str(), nullptr, 10);

  double uptime = 0;
  std::string up;
  if (read_file("/proc/uptime", &up)) uptime = atof(up.c_str());
  double elapsed = uptime - static_cast<double>(start_ticks) / ticks;
  double cpu_seconds = static_cast<double>(utime + stime) / ticks;

  line->pid = pid;
  line->ppid = atol(f[1].c_str());
  line->cpu = elapsed > 0 ? static_cast<long>(cpu_seconds * 100 / elapsed) : 0;

  struct stat st;
  line->user = "?";
  if (::stat(dir.c_str(), &st) == 0) {
    struct passwd pw, *found = nullptr;
    char buf[1024];
    if (getpwuid_r(st.st_uid, &pw, buf, sizeof buf, &found) == 0 && found)
      line->user = pw.pw_name;
    else
      line->user = std::to_string(st.st_uid);
  }

  time_t now = time(nullptr);
  time_t started = now - static_cast<time_t>(elapsed);
  struct tm s, n;
  localtime_r(&started, &s);
  localtime_r(&now, &n);
  char text[32];
  strftime(text, sizeof text, (s.tm_yday == n.tm_yday && s.tm_year == n.tm_year) ? "%H:%M" : "%b%d", &s);
  line->stime = text;
  long total = static_cast<long>(cpu_seconds);
  snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, (total / 60) % 60, total % 60);
  line->time = text;

  for (size_t i = 0; i < args.size(); ++i) line->cmd += (i ? " " : "") + args[i];
  return true;
}

}  // namespace

int RuntimePort(int id) { return id + 8962; }

bool RuntimeNameAllowed(const std::string& name, std::string* why) {
  if (name.empty()) {
    *why = "empty account name";
    return false;
  }
  for (unsigned char c : name) {
    if (c == '/') {
      *why = "account name holds a \"/\"";
      return false;
    }
    if (c < 0x20 || c == 0x7f) {
      *why = "account name holds a control character";
      return false;
    }
  }
  if (command_text(kApplianceRuntime, 99999, name).size() >= kCommandSize) {
    *why = "account name too long for the runtime command";
    return false;
  }
  return true;
}

pid_t StartSkypeRuntime(const S_Skype& sk) {
  const std::string& program = gw_runtime_program();
  int port = RuntimePort(sk.id);
  std::string why;
  if (!RuntimeNameAllowed(sk.name, &why)) {
    GW_TRACE("runtime for account %d not started: %s\n\n", sk.id, why.c_str());
    return -1;
  }
  GW_TRACE("%s\n\n", command_text(program, port, sk.name).c_str());
  pid_t pid = spawn_detached({program, "-p", std::to_string(port), "-s", "/" + sk.name + "/"});
  if (pid < 0) GW_TRACE("runtime for account %d could not be started: %s\n\n", sk.id, strerror(errno));
  return pid;
}

int ListSkypeRuntimes() {
  const std::string& program = gw_runtime_program();
  std::vector<long> pids;
  if (DIR* proc = opendir("/proc")) {
    while (struct dirent* entry = readdir(proc)) {
      char* end = nullptr;
      long pid = strtol(entry->d_name, &end, 10);
      if (pid > 0 && *end == '\0') pids.push_back(pid);
    }
    closedir(proc);
  }
  std::string text;
  int lines = 0;
  for (long pid : pids) {
    ProcessLine p;
    if (!describe_process(pid, program, &p)) continue;
    char head[160];
    snprintf(head, sizeof head, "%-8s %5ld %5ld %2ld %5s %-8s %8s ", p.user.c_str(), p.pid, p.ppid, p.cpu,
             p.stime.c_str(), "?", p.time.c_str());
    text += head + p.cmd + "\n";
    ++lines;
  }
  std::string path = gw_config_path("gwpid.txt");
  LockedFile file(gw_fopen_retry(path.c_str(), GW_REWRITE, "w", "ListSkypeRuntimes"));
  if (!file.ok() || !gw_write_all(file.fd(), text.data(), static_cast<int>(text.size()))) return -1;
  return lines;
}

int KillSkypeRuntime(pid_t pid) {
  if (pid <= 1) return -1;
  GW_TRACE("kill -9 %d\n\n", static_cast<int>(pid));
  return kill(pid, SIGKILL) == 0 ? 0 : -1;
}
