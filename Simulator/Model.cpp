#include "Simulator/Model.h"

#include <ctime>

#include "Simulator/ApiFields.h"
#include "Simulator/ApiIds.h"
#include "Simulator/ApiNames.h"

namespace velsim {

using namespace api;

const char* call_state_name(CallState s) {
  switch (s) {
    case CallState::Connecting: return "connecting";
    case CallState::Ringing: return "ringing";
    case CallState::Early: return "early_media";
    case CallState::RingingForMe: return "ringing_for_me";
    case CallState::Live: return "live";
    case CallState::Ended: return "ended";
  }
  return "?";
}

Model::Model(std::string account, Settings settings, EventLog& log, VoiceLink& voice)
    : m_name(std::move(account)), m_settings(std::move(settings)), m_log(log), m_voice(voice) {
  m_account.oid = m_next_oid++;
  m_account.name = m_name;
  m_account.status = status::LOGGED_OUT;
  m_account.balance = m_settings.balance;
  m_account.currency = m_settings.currency;
  m_account.precision = m_settings.precision;
}

Model::~Model() { m_sched.stop(); }

uint32_t Model::now() const { return static_cast<uint32_t>(time(nullptr)); }

// ---- the connection ----

void Model::session_started(Outbound* out) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_out = out;
}

void Model::session_ended() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_out = nullptr;
  // Like a runtime whose client went away: calls end and the account is
  // logged out, so a new connection starts from a known state.
  end_all_calls(leave::LIVE_CONNECTION_DROPPED, "client connection ended");
  if (m_account.status != status::LOGGED_OUT) {
    m_account.status = status::LOGGED_OUT;
    m_account.logoutreason = 0;   // nobody asked for it: no reason to give
    ++m_account.epoch;
    m_voice.set_online(false);
    m_log.write("ACCT", "logged out: client connection ended");
  }
}

void Model::send(std::string bytes, std::string log_line) {
  if (bytes.empty()) {
    m_log.write("ERR", "not encodable: " + log_line);
    return;
  }
  if (!m_out) {
    m_log.write("DROP", log_line + " (no client connection)");
    return;
  }
  m_out->send(std::move(bytes), std::move(log_line));
}

void Model::reply(uint32_t rid, const std::string& what) {
  send(m_writer.response(rid), "reply rid=" + std::to_string(rid) + " " + what);
}

void Model::reply(uint32_t rid, const void* record, unsigned descriptor, const std::string& what) {
  send(m_writer.response(rid, record, descriptor), "reply rid=" + std::to_string(rid) + " " + what);
}

void Model::reply_error(uint32_t rid, const std::string& why) {
  send(m_writer.error(rid), "error rid=" + std::to_string(rid) + " " + why);
}

void Model::event(uint32_t module, uint32_t id, const void* record, unsigned descriptor, const std::string& what) {
  send(m_writer.event(module, id, record, descriptor),
       "event " + std::to_string(module) + "." + std::to_string(id) + " " + what);
}

void Model::message_event(uint32_t msg, uint32_t conv, const std::string& what) {
  api::MessageEvent e;
  e.message = msg;
  e.conversation = conv;
  event(mod::SKYPE, event::ON_MESSAGE, &e, api::D_EV_MESSAGE,
        "OnMessage msg=#" + std::to_string(msg) + " conv=#" + std::to_string(conv) + " " + what);
}

namespace {

std::string prop_text(uint32_t module, uint32_t oid, uint32_t prop, bool known, const PropValue& v) {
  std::string t = std::to_string(module) + ".#" + std::to_string(oid) + "." + prop_name(module, prop) + "(" +
                  std::to_string(prop) + ")=";
  if (!known) return t + "N";
  if (v.kind == Sid::Field::KIND_STRING || v.kind == Sid::Field::KIND_XML) {
    std::string s = v.str.substr(0, 80);
    for (char& c : s)
      if (c < 32 || c > 126) c = ' ';
    return t + '"' + s + '"';
  }
  if (v.kind == Sid::Field::KIND_BOOLEAN) return t + (v.flag ? "T" : "F");
  return t + std::to_string(v.num);
}

}  // namespace

void Model::change(uint32_t module, uint32_t oid, uint32_t prop) {
  PropValue v;
  bool known = prop_value(module, oid, prop, v);
  m_writer.begin_change();
  m_writer.add(module, oid, prop, known ? &v : nullptr);
  send(m_writer.end(), "change " + prop_text(module, oid, prop, known, v));
}

bool Model::prop_value(uint32_t module, uint32_t oid, uint32_t prop, PropValue& v) const {
  auto num = [&v](unsigned char kind, uint32_t n) {
    v.kind = kind;
    v.num = n;
    return true;
  };
  auto str = [&v](const std::string& s) {
    v.kind = Sid::Field::KIND_STRING;
    v.str = s;
    return true;
  };
  switch (module) {
    case mod::ACCOUNT: {
      if (oid != m_account.oid) return false;
      switch (prop) {
        case prop::ACC_SKYPENAME: return str(m_account.name);
        case prop::ACC_FULLNAME: return str(m_account.name);
        case prop::ACC_STATUS: return num(Sid::Field::KIND_ENUM, m_account.status);
        case prop::ACC_LOGOUTREASON: return num(Sid::Field::KIND_ENUM, m_account.logoutreason);
        case prop::ACC_BALANCE_CURRENCY: return str(m_account.currency);
        case prop::ACC_BALANCE: return num(Sid::Field::KIND_UINT, m_account.balance);
        case prop::ACC_PRECISION: return num(Sid::Field::KIND_UINT, m_account.precision);
      }
      return false;
    }
    case mod::CONVERSATION: {
      auto it = m_convs.find(oid);
      if (it == m_convs.end()) return false;
      const ConversationObj& c = it->second;
      switch (prop) {
        case prop::CONV_IDENTITY: return str(c.identity);
        case prop::CONV_TYPE: return num(Sid::Field::KIND_ENUM, CONV_TYPE_DIALOG);
        case prop::CONV_CREATOR: return str(m_name);
        case prop::CONV_CREATION_TIMESTAMP: return num(Sid::Field::KIND_UINT, c.created);
        case prop::CONV_LIVE_HOST: return str(c.call ? c.identity : std::string());
        case prop::CONV_DISPLAYNAME: return str(c.identity);
        case prop::CONV_LOCAL_LIVESTATUS: return num(Sid::Field::KIND_ENUM, c.livestatus);
        case prop::CONV_LIVE_START_TIMESTAMP: return num(Sid::Field::KIND_UINT, c.live_start);
        case prop::CONV_LIVE_IS_MUTED: v.kind = Sid::Field::KIND_BOOLEAN; v.flag = false; return true;
      }
      return false;
    }
    case mod::PARTICIPANT: {
      auto it = m_parts.find(oid);
      if (it == m_parts.end()) return false;
      const ParticipantObj& p = it->second;
      switch (prop) {
        case prop::PART_CONVO_ID: return num(Sid::Field::KIND_OBJECTID, p.conv);
        case prop::PART_IDENTITY: return str(p.identity);
        case prop::PART_VOICE_STATUS: return num(Sid::Field::KIND_ENUM, p.voice);
        case prop::PART_VIDEO_STATUS: return num(Sid::Field::KIND_ENUM, VIDEO_NA);
        case prop::PART_LIVE_START_TIMESTAMP: return num(Sid::Field::KIND_UINT, p.live_start);
        case prop::PART_DEBUGINFO: return str(p.debuginfo);
        case prop::PART_LIVE_IDENTITY: return str(p.identity);
        case prop::PART_LAST_LEAVEREASON: return num(Sid::Field::KIND_ENUM, p.leavereason);
      }
      return false;
    }
    case mod::MESSAGE: {
      auto it = m_msgs.find(oid);
      if (it == m_msgs.end()) return false;
      const MessageObj& m = it->second;
      switch (prop) {
        case prop::MSG_CONVO_ID: return num(Sid::Field::KIND_OBJECTID, m.conv);
        case prop::MSG_AUTHOR: return str(m.author);
        case prop::MSG_AUTHOR_DISPLAYNAME: return str(m.author);
        case prop::MSG_TIMESTAMP: return num(Sid::Field::KIND_UINT, m.timestamp);
        case prop::MSG_TYPE: return num(Sid::Field::KIND_ENUM, m.type);
        case prop::MSG_BODY_XML: v.kind = Sid::Field::KIND_XML; v.str = m.body; return true;
        case prop::MSG_IDENTITIES: return str(m.author);
        case prop::MSG_LEAVEREASON: return num(Sid::Field::KIND_ENUM, m.leavereason);
      }
      return false;
    }
  }
  return false;
}

void Model::handle_get(const std::vector<api::PropRef>& props) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string log = "getreply";
  m_writer.begin_reply();
  for (const auto& p : props) {
    PropValue v;
    bool known = prop_value(p.module, p.oid, p.prop, v);
    m_writer.add(p.module, p.oid, p.prop, known ? &v : nullptr);
    log += " " + prop_text(p.module, p.oid, p.prop, known, v);
  }
  send(m_writer.end(), log);
}

void Model::reject_call(uint32_t rid) {
  std::lock_guard<std::mutex> lock(m_mutex);
  reply_error(rid, "undecodable parameters");
}

void Model::handle_call(uint32_t module, uint32_t method, uint32_t rid, const api::CallParams& params) {
  std::lock_guard<std::mutex> lock(m_mutex);
  switch (module) {
    case mod::SKYPE: skype_call(method, rid, params); return;
    case mod::ACCOUNT: account_call(method, rid, params); return;
    case mod::CONVERSATION: conversation_call(method, rid, params); return;
    case mod::PARTICIPANT: participant_call(method, rid, params); return;
  }
  reply_error(rid, "unknown module " + std::to_string(module));
}

void Model::after(int ms, uint32_t call, void (Model::*step)(uint32_t, uint32_t)) {
  auto it = m_calls.find(call);
  if (it == m_calls.end()) return;
  uint32_t epoch = it->second.epoch;
  m_sched.after(ms, [this, call, epoch, step] {
    std::lock_guard<std::mutex> lock(m_mutex);
    (this->*step)(call, epoch);
  });
}

}  // namespace velsim
