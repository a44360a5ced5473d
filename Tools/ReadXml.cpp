#include "Tools/ReadXml.h"

#include <utility>

#include "Velmora/registry/Paths.h"

ReadXml::ReadXml() : m_dir(gw_config_dir()) {}

ReadXml::ReadXml(std::string dir) : m_dir(std::move(dir)) {
  if (m_dir.empty() || m_dir.back() != '/') m_dir += '/';
}

ReadXml::~ReadXml() {}

std::string ReadXml::path(const char* name) const { return m_dir + name; }
