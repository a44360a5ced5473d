#include "Simulator/Settings.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <sstream>

namespace velsim {

namespace {

struct AnswerName {
  Answer value;
  const char* name;
};
constexpr AnswerName kAnswers[] = {
    {Answer::Answer, "answer"}, {Answer::Busy, "busy"},     {Answer::NoAnswer, "noanswer"},
    {Answer::Early, "early"},   {Answer::Reject, "reject"}, {Answer::Manual, "manual"},
};

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool to_int(const std::string& v, long lo, long hi, long& out) {
  if (v.empty()) return false;
  char* end = nullptr;
  long n = strtol(v.c_str(), &end, 10);
  if (*end || n < lo || n > hi) return false;
  out = n;
  return true;
}

bool set_party(Party& p, const std::string& key, const std::string& value) {
  long n;
  if (key == "answer") return parse_answer(value, p.answer);
  if (key == "audio_file") {
    p.audio_file = value;
    return true;
  }
  int* target = key == "ring_delay_ms"     ? &p.ring_delay_ms
                : key == "answer_delay_ms" ? &p.answer_delay_ms
                : key == "early_media_ms"  ? &p.early_media_ms
                : key == "noanswer_ms"     ? &p.noanswer_ms
                : key == "tone_hz"         ? &p.tone_hz
                                           : nullptr;
  long hi = key == "tone_hz" ? 3900 : 3600000;
  if (!target || !to_int(value, 0, hi, n)) return false;
  *target = static_cast<int>(n);
  return true;
}

}  // namespace

std::string lower(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return out;
}

const char* answer_name(Answer a) {
  for (const auto& n : kAnswers)
    if (n.value == a) return n.name;
  return "?";
}

bool parse_answer(const std::string& text, Answer& out) {
  for (const auto& n : kAnswers)
    if (text == n.name) {
      out = n.value;
      return true;
    }
  return false;
}

const Party& Settings::party_for(const std::string& identity) const {
  auto it = parties.find(lower(identity));
  return it == parties.end() ? party : it->second;
}

bool Settings::set(const std::string& key, const std::string& value, Party* section) {
  if (section) return set_party(*section, key, value);
  long n;
  if (key == "password") {
    password = value;
    return true;
  }
  if (key == "currency") {
    if (value.size() > 8) return false;
    currency = value;
    return true;
  }
  if (key == "balance") {
    if (!to_int(value, 0, LONG_MAX, n) || static_cast<unsigned long>(n) > UINT_MAX) return false;
    balance = static_cast<unsigned>(n);
    return true;
  }
  if (key == "precision") {
    if (!to_int(value, 0, 9, n)) return false;
    precision = static_cast<unsigned>(n);
    return true;
  }
  if (key == "login_delay_ms" || key == "incoming_timeout_ms") {
    if (!to_int(value, 0, 3600000, n)) return false;
    (key == "login_delay_ms" ? login_delay_ms : incoming_timeout_ms) = static_cast<int>(n);
    return true;
  }
  if (key == "caller_tone_hz") {
    if (!to_int(value, 0, 3900, n)) return false;
    caller_tone_hz = static_cast<int>(n);
    return true;
  }
  return set_party(party, key, value);
}

Settings parse_settings(const std::string& text, std::vector<std::string>& errors) {
  Settings s;
  std::istringstream in(text);
  std::string line;
  Party* section = nullptr;
  std::string section_name;
  int number = 0;
  auto error = [&](const std::string& what) { errors.push_back("line " + std::to_string(number) + ": " + what); };
  // Party sections start from the defaults as they stand when the section
  // opens, so defaults belong before the first section.
  while (std::getline(in, line)) {
    ++number;
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    if (t.front() == '[') {
      if (t.back() != ']') {
        error("bad section: " + t);
        continue;
      }
      std::string inner = trim(t.substr(1, t.size() - 2));
      if (inner.rfind("party ", 0) != 0 || trim(inner.substr(6)).empty()) {
        error("unknown section: " + t);
        section = nullptr;
        continue;
      }
      section_name = lower(trim(inner.substr(6)));
      auto [it, fresh] = s.parties.emplace(section_name, s.party);
      section = &it->second;
      continue;
    }
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      error("expected key = value: " + t);
      continue;
    }
    std::string key = trim(t.substr(0, eq)), value = trim(t.substr(eq + 1));
    if (!s.set(key, value, section)) error("bad setting: " + t);
  }
  return s;
}

}  // namespace velsim
