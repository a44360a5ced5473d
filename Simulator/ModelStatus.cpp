// What the control socket shows of the model, and the settings it changes.

#include "Simulator/ApiIds.h"
#include "Simulator/Model.h"

namespace velsim {

using namespace api;

namespace {

const char* status_word(uint32_t s) {
  switch (s) {
    case status::LOGGED_OUT: return "LOGGED_OUT";
    case status::LOGGING_IN: return "LOGGING_IN";
    case status::LOGGED_IN: return "LOGGED_IN";
    case status::LOGGING_OUT: return "LOGGING_OUT";
  }
  return "OTHER";
}

}  // namespace

std::string Model::status_text() {
  std::lock_guard<std::mutex> lock(m_mutex);
  size_t active = 0;
  for (const auto& [id, c] : m_calls)
    if (c.state != CallState::Ended) ++active;
  return "OK account=" + m_name + " connected=" + (m_out ? "1" : "0") + " login=" + status_word(m_account.status) +
         " logoutreason=" + std::to_string(m_account.logoutreason) + " balance=" + std::to_string(m_account.balance) +
         " currency=" + m_account.currency + " calls=" + std::to_string(active) +
         " total_calls=" + std::to_string(m_calls.size());
}

std::string Model::calls_text() {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string out = "OK";
  for (const auto& [id, c] : m_calls)
    out += " " + std::to_string(id) + ":" + (c.incoming ? "in:" : "out:") + c.peer + ":" + call_state_name(c.state);
  return out;
}

std::string Model::call_text(uint32_t id) {
  std::lock_guard<std::mutex> lock(m_mutex);
  id = resolve_call(id);
  auto it = m_calls.find(id);
  if (it == m_calls.end()) return "ERR no such call";
  const Call& c = it->second;
  std::string dtmf;
  for (uint32_t d : c.gateway_dtmf) dtmf += d == DTMF_STAR ? '*' : d == DTMF_POUND ? '#' : static_cast<char>('0' + d);
  std::string out = "OK call=" + std::to_string(id) + " dir=" + (c.incoming ? "in" : "out") + " peer=" + c.peer +
                    " state=" + call_state_name(c.state) + " conv=" + std::to_string(c.conv) +
                    " cmid=" + std::to_string(c.cmid) + " tone=" + std::to_string(c.tone_hz) +
                    " gateway_dtmf=" + (dtmf.empty() ? "-" : dtmf) +
                    " gateway_texts=" + std::to_string(c.gateway_text.size());
  if (!c.end_reason.empty()) {
    std::string why = c.end_reason;
    for (char& ch : why)
      if (ch == ' ') ch = '_';
    out += " ended_by=" + why;
  }
  return out + " " + m_voice.stats(id);
}

std::string Model::set_setting(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_settings.set(key, value)) return "ERR bad setting " + key;
  if (key == "balance" || key == "currency" || key == "precision")
    m_log.write("CTRL", "account settings change with the next login; use \"balance\" for a live change");
  return "OK " + key + "=" + value;
}

std::string Model::drop_connection() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return "ERR no client connection";
  m_out->drop();
  return "OK dropped";
}

}  // namespace velsim
