// Feeds arbitrary bytes to the configuration readers, the statistics and
// call record writers and the number list loader, through real files.
// The first byte chooses the file.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Tools/FileLayer.h"
#include "Tools/ReadXml.h"
#include "Velmora/registry/Registry.h"

namespace {

// A directory of its own, removed when the fuzzer exits.
struct WorkDir {
  WorkDir() {
    char templ[] = "/tmp/velmora-fuzz-XXXXXX";
    if (mkdtemp(templ)) dir = std::string(templ) + "/";
  }
  ~WorkDir() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

const std::string& work_dir() {
  static WorkDir work;
  return work.dir;
}

void put(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return;
  if (size) fwrite(data, 1, size, f);
  fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string& dir = work_dir();
  if (dir.empty()) return 0;
  ReadXml rx(dir);
  uint8_t which = data[0] % 9;
  ++data;
  --size;

  gwconfig = S_Config{};
  switch (which) {
    case 0: {
      put(dir + "sip.conf", data, size);
      put(dir + "sip_general.conf", data, size);
      std::map<std::string, S_User> table;
      rx.Read(table);
      rx.clearsipregState(table);
      S_User u;
      if (!table.empty()) u = table.begin()->second;
      rx.savesipregState(u);
      break;
    }
    case 1: {
      put(dir + "skypes.conf", data, size);
      std::map<int, S_Skype> table;
      rx.ReadSkype(table);
      S_Skype sk;
      if (!table.empty()) sk = table.begin()->second;
      rx.SaveSkype(&sk, 2);
      break;
    }
    case 2: {
      put(dir + "skype_groups.conf", data, size);
      put(dir + "routing.conf", data, size);
      std::map<std::string, S_Skypegroup> groups;
      rx.ReadSkypeGroup(groups);
      std::map<int, S_Dialroute> routes;
      rx.ReadDialRoute(routes, groups);
      break;
    }
    case 3: {
      put(dir + "skyperoute.conf", data, size);
      std::map<std::string, std::string> table;
      rx.ReadRoute(table);
      break;
    }
    case 4: {
      put(dir + "gwpid.txt", data, size);
      S_Skype sk;
      sk.name = "bob";
      rx.Readenginepid(&sk);
      break;
    }
    case 5: {
      char path[512];
      int fd = rx.openstaticfile(path, sizeof path);
      if (fd > 0) gw_fclose(fd);
      put(path, data, size);
      S_User u;
      u.calltype = 1 + (size & 1);
      u.startconversation = 1;
      u.end = static_cast<time_t>(size * 37);
      rx.SaveStatis(u, 0);
      break;
    }
    case 6: {
      char path[512];
      int fd = rx.opencdrfile(path, sizeof path);
      if (fd > 0) gw_fclose(fd);
      put(path, data, size);
      S_User u;
      u.peer.assign(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
      rx.saveCDR(u);
      break;
    }
    case 7: {
      std::map<int, S_Skype> table;
      table[0].name = "acc";
      rx.ReadSkypeCalllogs(table);
      put(dir + "acc/calllogs.xml", data, size);
      rx.ReadSkypeCalllogs(table);
      rx.SaveSkypeCalllogs(&table[0]);
      break;
    }
    default: {
      char** lines = nullptr;
      int count = 0;
      if (gw_getline(&lines, &count, reinterpret_cast<const char*>(data), static_cast<int>(size)) == 0)
        gw_free_strarray(lines, count);
      break;
    }
  }
  return 0;
}
