// The account group file (skype_groups.conf), the dial route file
// (routing.conf) and the SkypeOut route file (skyperoute.conf).

#include <algorithm>
#include <cstring>
#include <string>

#include "Tools/FileAccess.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"
#include "Tools/ReadXmlTrace.h"

namespace {

constexpr size_t MAP_NUMBER_MAX = 127;
constexpr size_t MAP_NAME_MAX = 255;

// `value` from character `from` (0-based) on; empty when it is shorter.
std::string tail(const std::string& value, size_t from) {
  return value.size() > from ? value.substr(from) : std::string();
}

void apply_route_key(S_Dialroute& route, const std::string& key, const std::string& value,
                     const std::map<std::string, S_Skypegroup>& groups) {
  if (key == "order") {
    route.order = ini_int(value);
  } else if (key == "from_channel") {
    char kind = value.size() > 1 ? value[1] : '\0';
    if (kind == 'i') {
      route.type = 0;
      route.from = tail(value, 4);
    } else if (kind == 'r') {
      route.type = 1;
      auto group = groups.find(tail(value, 6));
      if (group != groups.end()) route.from = group->second.skypes;
    } else {
      route.type = 2;
      route.from = tail(value, 6);
    }
  } else if (key == "to_channel") {
    if (route.type == 0) {
      auto group = groups.find(value);
      if (group != groups.end()) {
        route.to = group->second.skypes;
        route.maxcalls = group->second.maxcalls;
        route.maxcalltimes = group->second.maxcalltimes;
        route.sorttype = group->second.sorttype;
        route.interval = group->second.interval;
      }
    } else {
      route.to = value;
    }
  } else if (key == "dialmode") {
    route.directdial = value == "directdial";
  } else if (key == "disskype") {
    route.disskypename = value == "yes";
  } else if (key == "directsipnum") {
    route.directtosipnum = value;
  } else if (key == "dial_pattern") {
    route.dial_pattern = value;
  }
}

// "number|name,number|name,...": stops at the first entry without a "|"
// before the next ",", and after a "," with nothing behind it.
void load_map_list(const std::string& list, std::map<std::string, std::string>& table) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t bar = list.find('|', pos);
    size_t comma = list.find(',', pos);
    if (bar == std::string::npos || (comma != std::string::npos && comma < bar)) return;
    std::string number = list.substr(pos, std::min(bar - pos, MAP_NUMBER_MAX));
    size_t name_end = comma == std::string::npos ? list.size() : comma;
    std::string name = list.substr(bar + 1, std::min(name_end - bar - 1, MAP_NAME_MAX));
    table.emplace(number, name);
    if (comma == std::string::npos) return;
    pos = comma + 1;
  }
}

}  // namespace

int ReadXml::ReadSkypeGroup(std::map<std::string, S_Skypegroup>& table) {
  FileLines file;
  if (gw_load_lines(path("skype_groups.conf"), "ReadSkypeGroup", file) != 0) return -1;
  S_Skypegroup work;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    for (const auto& [key, value] : section.keys) {
      if (key == "skypes") work.skypes = value;
      else if (key == "limitcalls") work.maxcalls = ini_int(value);
      else if (key == "limitcalltimes") work.maxcalltimes = ini_int(value) * 60;
      else if (key == "outcase") work.sorttype = value == "times" ? 0 : 1;
      else if (key == "interval") work.interval = ini_int(value);
    }
    table.emplace(section.name, work);
  }
  return 0;
}

int ReadXml::ReadDialRoute(std::map<int, S_Dialroute>& table,
                           const std::map<std::string, S_Skypegroup>& groups) {
  FileLines file;
  if (gw_load_lines(path("routing.conf"), "ReadDialRoute", file) != 0) return -1;
  S_Dialroute work;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    RX_TRACE("ReadDialRoute %s\n\n", section.name.c_str());
    for (const auto& [key, value] : section.keys) apply_route_key(work, key, value, groups);
    table.emplace(work.order, work);
  }
  return 0;
}

int ReadXml::ReadRoute(std::map<std::string, std::string>& table) {
  FileLines file;
  if (gw_load_lines(path("skyperoute.conf"), "ReadRoute", file) != 0) return -1;
  for (const IniSection& section : ini_sections(file.lines, file.count)) {
    for (const auto& [key, value] : section.keys) {
      if (key == "skype") {
        gwconfig.defaultskypeout = value;
        gwconfig.cancallskype = value != "none";
      } else if (key == "dial_pattern") {
        load_map_list(value, table);
      }
    }
  }
  return 0;
}
