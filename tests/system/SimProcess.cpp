#include "tests/system/SimProcess.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace simtest {
namespace {

using Clock = std::chrono::steady_clock;

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

SimProcess::SimProcess(const std::string& dir, const std::string& account, int port, const std::string& settings)
    : m_dir(dir), m_account(account), m_port(port) {
  if (!settings.empty()) std::ofstream(dir + "/" + account + ".conf") << settings;
  // Everything the child needs is made before fork: it only execs.
  std::string env_dir = "VELMORA_SIM_DIR=" + dir;
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "VELMORA_SIM_DIR=", 16) != 0) envp.push_back(*e);
  envp.push_back(env_dir.data());
  envp.push_back(nullptr);
  std::string port_text = std::to_string(port);
  std::string name = "/" + account + "/";
  std::string path = VELMORA_SIM_PATH;
  char* argv[] = {path.data(), const_cast<char*>("-p"), port_text.data(), const_cast<char*>("-s"), name.data(),
                  nullptr};
  std::string out = dir + "/" + account + ".out";
  m_pid = fork();
  if (m_pid == 0) {
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    execve(path.c_str(), argv, envp.data());
    _exit(127);
  }
}

SimProcess::~SimProcess() {
  if (m_pid <= 0) return;
  if (m_killed) return;
  control("exit");
  int status = 0;
  bool reaped = false;
  auto end = Clock::now() + std::chrono::seconds(5);
  while (!(reaped = waitpid(m_pid, &status, WNOHANG) == m_pid) && Clock::now() < end) sleep_ms(20);
  if (!reaped) {
    ADD_FAILURE() << "the simulator for " << m_account << " did not exit";
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    return;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << m_account << " exit status " << status;
}

void SimProcess::kill_now() {
  if (m_pid <= 0 || m_killed) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_killed = true;
}

std::string SimProcess::control(const std::string& line) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return "";
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = m_dir + "/" + m_account + ".ctl";
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  std::string reply;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string text = line + "\n";
    if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) {
      char c;
      while (read(fd, &c, 1) == 1 && c != '\n') reply += c;
    }
  }
  close(fd);
  return reply;
}

bool SimProcess::ready(int timeout_ms) {
  auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Clock::now() < end) {
    if (control("status").rfind("OK", 0) == 0) return true;
    sleep_ms(20);
  }
  return false;
}

std::string SimProcess::field(const std::string& reply, const std::string& key) {
  std::istringstream words(reply);
  std::string word;
  while (words >> word)
    if (word.rfind(key + "=", 0) == 0) return word.substr(key.size() + 1);
  return "";
}

std::string SimProcess::log() const {
  std::ifstream in(m_dir + "/" + m_account + ".log", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool SimProcess::log_has(const std::string& text, int timeout_ms) const {
  auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Clock::now() < end) {
    if (log().find(text) != std::string::npos) return true;
    sleep_ms(10);
  }
  return log().find(text) != std::string::npos;
}

TempDir::TempDir(const std::string& tag) {
  std::string base = std::filesystem::temp_directory_path().string() + "/velmora-crsim-" + tag + "-XXXXXX";
  std::vector<char> name(base.begin(), base.end());
  name.push_back('\0');
  if (mkdtemp(name.data())) m_path = name.data();
}

TempDir::~TempDir() {
  if (m_path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

} // namespace simtest
