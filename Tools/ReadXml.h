#ifndef VELMORA_TOOLS_READXML_H
#define VELMORA_TOOLS_READXML_H

// ReadXml: the one object through which the gateway reads and writes its
// configuration, state and record files (the process holds one, `rdxml`).
// Every file lives in one directory, the configuration directory by default;
// tests hand it a directory of their own.
//
// Return values: 0 for success, -1 for failure, as documented per group in
// the sources (ReadSip.cpp, ReadSkype.cpp, ... ).

#include <cstddef>
#include <map>
#include <string>

#include "Velmora/registry/Registry.h"

class ReadXml {
public:
  ReadXml();
  explicit ReadXml(std::string dir);
  virtual ~ReadXml();

  ReadXml(const ReadXml&) = delete;
  ReadXml& operator=(const ReadXml&) = delete;

  // The directory's file `name`.
  std::string path(const char* name) const;

  // --- Readers: 0 on success or for an empty file, -1 when the file cannot
  // be opened, read or split (its table is then left as it was).
  // sip.conf into `table` and, when sip.conf held something, sip_general.conf
  // into gwconfig.
  int Read(std::map<std::string, S_User>& table);
  // skypes.conf into `table`, then rewrites the file with every account offline.
  int ReadSkype(std::map<int, S_Skype>& table);
  int ReadSkypeGroup(std::map<std::string, S_Skypegroup>& table);
  // routing.conf; group names are looked up in `groups`.
  int ReadDialRoute(std::map<int, S_Dialroute>& table,
                    const std::map<std::string, S_Skypegroup>& groups = skypegroups);
  // skyperoute.conf into `table`, gwconfig.defaultskypeout and cancallskype.
  int ReadRoute(std::map<std::string, std::string>& table);

  // True once Read has loaded sip.conf (an empty one included).
  bool sipconf_loaded() const { return m_sipconf_loaded; }

  // --- State files.
  int clearchanState();
  // channelsstate.conf emptied for a rewrite; the caller writes and closes.
  int openchanstate(int* fd);
  // sip.conf rewritten from `table` with every account unregistered; does
  // nothing (-1) unless Read loaded sip.conf.
  int clearsipregState(const std::map<std::string, S_User>& table = users);
  int savesipregState(S_User& user);
  // type 1 totaltime, 2 balance, 3 status; 0 touches nothing.
  int SaveSkype(S_Skype* sk, int type);
  int Readenginepid(S_Skype* sk);
  int Gwreboot();

  // --- Call records, statistics, numbers called today.
  // `path` receives the file name (`size` bytes, 64 by default).
  int opencdrfile(char* path, size_t size = 64);
  int saveCDR(S_User& user);
  int openstaticfile(char* path, size_t size = 64);
  int SaveStatis(S_User& user, int result);
  static void FormatTime2(const char* text, int* h, int* m, int* s);
  int SaveSkypeCalllogs(S_Skype* sk);
  int ReadSkypeCalllogs(std::map<int, S_Skype>& table);

private:
  std::string m_dir;
  bool m_sipconf_loaded = false;
};

#endif
