#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "Tools/ReadXml.h"
#include "Velmora/RuntimeProcess.h"
#include "Velmora/registry/Paths.h"
#include "Velmora/registry/Registry.h"

namespace {

std::string g_dir;

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool wait_for_file(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

class RuntimeProcess : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/velmora-runtime-XXXXXX";
    g_dir = mkdtemp(tmpl);
    // A stand-in runtime: records its arguments, then stays up like a runtime.
    std::string script = g_dir + "/runtime.sh";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << g_dir
                          << "/args.$2.tmp\"\nmv \"" << g_dir << "/args.$2.tmp\" \"" << g_dir
                          << "/args.$2\"\nwhile :; do sleep 1; done\n";
    chmod(script.c_str(), 0755);
    setenv("VELMORA_RUNTIME", script.c_str(), 1);
    setenv("VELMORA_CONFIG_DIR", g_dir.c_str(), 1);
    ASSERT_EQ(gw_runtime_program(), script);
    ASSERT_EQ(chdir(g_dir.c_str()), 0);  // a shell would create "pwned" here
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(g_dir); }
};

TEST_F(RuntimeProcess, NamesThatCannotReachTheRuntime) {
  struct {
    std::string name;
    bool allowed;
  } cases[] = {
      {"alice", true},
      {"x;touch pwned", true},  // no shell ever sees it
      {"$(reboot)", true},
      {std::string(64, 'a'), true},
      {std::string(65, 'a'), false},
      {"a/b", false},
      {"tab\there", false},
      {"new\nline", false},
      {"", false},
  };
  for (const auto& c : cases) {
    std::string why;
    EXPECT_EQ(RuntimeNameAllowed(c.name, &why), c.allowed) << c.name;
    if (!c.allowed) {
      EXPECT_FALSE(why.empty());
    }
  }
}

TEST_F(RuntimeProcess, StartsDetachedWithArgumentVectorAndIsListedAndKilled) {
  S_Skype sk;
  sk.id = 1;
  sk.name = "bob;touch pwned";
  pid_t pid = StartSkypeRuntime(sk);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(wait_for_file(g_dir + "/args.8963"));
  EXPECT_EQ(slurp(g_dir + "/args.8963"), "-p\n8963\n-s\n/" + sk.name + "/\n");
  EXPECT_FALSE(std::ifstream(g_dir + "/pwned").good());

  // Detached: not our child.
  std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
  size_t paren = stat.rfind(')');
  ASSERT_NE(paren, std::string::npos);
  std::istringstream f(stat.substr(paren + 2));
  std::string state;
  long ppid = 0;
  f >> state >> ppid;
  EXPECT_NE(ppid, static_cast<long>(getpid()));

  ASSERT_GE(ListSkypeRuntimes(), 1);
  std::string listing = slurp(g_dir + "/gwpid.txt");
  std::istringstream lines(listing);
  bool found = false;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream cols(line);
    std::string user;
    long listed = 0;
    cols >> user >> listed;
    if (listed == pid) {
      found = true;
      EXPECT_NE(line.find(gw_runtime_program() + " -p 8963 -s /" + sk.name + "/"), std::string::npos) << line;
    }
  }
  EXPECT_TRUE(found) << listing;

  // The listing is what the supervision finds the runtime by.
  ReadXml files(g_dir);
  EXPECT_EQ(files.Readenginepid(&sk), pid);
  S_Skype prefix;
  prefix.name = "bob";
  EXPECT_EQ(files.Readenginepid(&prefix), -1);

  EXPECT_EQ(KillSkypeRuntime(pid), 0);
  for (int i = 0; i < 200 && alive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(alive(pid));
}

TEST_F(RuntimeProcess, RefusedNameStartsNothing) {
  S_Skype sk;
  sk.id = 5;
  sk.name = "../etc";
  EXPECT_EQ(StartSkypeRuntime(sk), -1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(std::ifstream(g_dir + "/args.8967").good());
  EXPECT_EQ(KillSkypeRuntime(0), -1);
  EXPECT_EQ(KillSkypeRuntime(1), -1);
}

}  // namespace
