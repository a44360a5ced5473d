// The API methods, runtime side: one reply per call, with the call's
// request id; the error form for unknown methods and wrong object ids.

#include "Simulator/ApiFields.h"
#include "Simulator/ApiIds.h"
#include "Simulator/ApiNames.h"
#include "Simulator/Model.h"

namespace velsim {

using namespace api;

namespace {

std::string method_text(uint32_t module, uint32_t method) {
  return std::string(module_name(module)) + "." + method_name(module, method) + "(" + std::to_string(module) + "," +
         std::to_string(method) + ")";
}

}  // namespace

void Model::skype_call(uint32_t method, uint32_t rid, const api::CallParams& p) {
  const std::string what = method_text(mod::SKYPE, method);
  switch (method) {
    case method::START: {
      bool started = true;
      reply(rid, &started, D_RSP_BOOL, what + " 1=T");
      return;
    }
    case method::GET_ACCOUNT: {
      std::string name = p.str1();
      if (lower(name) != lower(m_name)) {
        reply_error(rid, what + " no such account \"" + name + "\" (this runtime serves " + m_name + ")");
        return;
      }
      reply(rid, &m_account.oid, D_RSP_OBJECT, what + " 1=#" + std::to_string(m_account.oid));
      return;
    }
    case method::GET_CONVERSATION_LIST: {
      uint32_t type = p.enum1;
      ObjectIds oids;
      for (const auto& [oid, c] : m_convs) {
        if (!c.listed) continue;
        bool live = c.livestatus != live::NONE && c.livestatus != live::RECENTLY_LIVE;
        if (type == list::LIVE && !live) continue;
        oids.push_back(oid);
      }
      std::string list;
      for (uint32_t o : oids) list += " #" + std::to_string(o);
      reply(rid, &oids, D_RSP_OBJECTS, what + " type=" + std::to_string(type) + " 1=[" + list + " ]");
      return;
    }
    case method::GET_CONVERSATION_BY_IDENTITY: {
      std::string identity = p.str1();
      if (identity.empty() || identity.size() > 256) {
        reply_error(rid, what + " bad identity");
        return;
      }
      if (m_account.status != status::LOGGED_IN) {
        reply_error(rid, what + " not logged in");
        return;
      }
      ConversationObj& c = conversation_for(identity);
      reply(rid, &c.oid, D_RSP_OBJECT, what + " \"" + identity + "\" 1=#" + std::to_string(c.oid));
      return;
    }
  }
  reply_error(rid, what + " unknown method");
}

void Model::account_call(uint32_t method, uint32_t rid, const api::CallParams& p) {
  const std::string what = method_text(mod::ACCOUNT, method);
  if (method != method::LOGIN_WITH_PASSWORD && method != method::LOGOUT) {
    reply_error(rid, what + " unknown method");
    return;
  }
  if (p.oid != m_account.oid) {
    reply_error(rid, what + " wrong object #" + std::to_string(p.oid));
    return;
  }
  reply(rid, what);
  if (method == method::LOGIN_WITH_PASSWORD)
    login(p.str1());
  else
    logout(logout::LOGOUT_CALLED);
}

void Model::conversation_call(uint32_t method, uint32_t rid, const api::CallParams& p) {
  const std::string what = method_text(mod::CONVERSATION, method);
  switch (method) {
    case method::JOIN_LIVE_SESSION: case method::LEAVE_LIVE_SESSION: case method::SEND_DTMF:
    case method::POST_TEXT: case method::GET_PARTICIPANTS: case method::DELETE:
      break;
    default:
      reply_error(rid, what + " unknown method");
      return;
  }
  auto it = m_convs.find(p.oid);
  if (it == m_convs.end()) {
    reply_error(rid, what + " wrong object #" + std::to_string(p.oid));
    return;
  }
  ConversationObj& c = it->second;
  const std::string on = what + " #" + std::to_string(c.oid);
  Call* call = c.call ? live_call(c.call) : nullptr;
  switch (method) {
    case method::JOIN_LIVE_SESSION:
      reply(rid, on);
      if (call && call->state == CallState::RingingForMe)
        answer_incoming(*call);
      else
        m_log.write("CALL", on + ": no call ringing here, nothing to join");
      return;
    case method::LEAVE_LIVE_SESSION:
      reply(rid, on);
      if (call)
        end_call(*call, leave::LIVE_MANUAL, false, "left by the gateway");
      return;
    case method::SEND_DTMF: {
      uint32_t digit = p.enum1, length = p.uint2;
      if (digit > DTMF_POUND) {
        reply_error(rid, on + " bad digit " + std::to_string(digit));
        return;
      }
      reply(rid, on + " dtmf=" + std::to_string(digit) + " length=" + std::to_string(length));
      if (call) {
        call->gateway_dtmf.push_back(digit);
        m_log.printf("CALL", "%u dtmf from gateway %u", call->id, digit);
      } else {
        m_log.write("CALL", on + ": DTMF outside a call");
      }
      return;
    }
    case method::POST_TEXT: {
      std::string text = p.str1();
      uint32_t msg = post_message(c.oid, msgtype::POSTED_TEXT, m_name, text, 0);
      reply(rid, &msg, D_RSP_OBJECT, on + " text=\"" + text.substr(0, 80) + "\" 1=#" + std::to_string(msg));
      if (call) call->gateway_text.push_back(text);
      m_log.printf("CHAT", "gateway posted to %s: %s", c.identity.c_str(), text.c_str());
      message_event(msg, c.oid, "POSTED_TEXT by " + m_name);
      return;
    }
    case method::GET_PARTICIPANTS: {
      uint32_t filter = p.enum1;
      ObjectIds oids;
      for (size_t n = 0; n < c.parts.size(); ++n) {
        bool mine = n == 0;
        if (filter == filter::APPLICANTS) continue;
        if (filter == filter::MYSELF && !mine) continue;
        if (filter == filter::OTHER_CONSUMERS && mine) continue;
        oids.push_back(c.parts[n]);
      }
      std::string list;
      for (uint32_t o : oids) list += " #" + std::to_string(o);
      reply(rid, &oids, D_RSP_OBJECTS, on + " filter=" + std::to_string(filter) + " 1=[" + list + " ]");
      return;
    }
    case method::DELETE:
      reply(rid, on);
      if (call) end_call(*call, leave::LIVE_MANUAL, false, "conversation deleted");
      if (c.listed) {
        // The call's end took it off the live list; deleting takes it off
        // the list of all conversations.
        c.listed = false;
        list_change(c.oid, false, list::ALL);
      }
      return;
  }
}

void Model::participant_call(uint32_t method, uint32_t rid, const api::CallParams& p) {
  const std::string what = method_text(mod::PARTICIPANT, method);
  if (method != method::RING && method != method::GET_VIDEO) {
    reply_error(rid, what + " unknown method");
    return;
  }
  auto it = m_parts.find(p.oid);
  if (it == m_parts.end()) {
    reply_error(rid, what + " wrong object #" + std::to_string(p.oid));
    return;
  }
  ParticipantObj& part = it->second;
  const std::string on = what + " #" + std::to_string(part.oid) + " \"" + part.identity + "\"";
  if (method == method::GET_VIDEO) {
    // A runtime without video has no video object: the null reference.
    uint32_t none = 0;
    reply(rid, &none, D_RSP_OBJECT, on + " 1=#0");
    return;
  }
  ConversationObj& c = m_convs.at(part.conv);
  if (m_account.status != status::LOGGED_IN) {
    reply_error(rid, on + " not logged in");
    return;
  }
  if (!c.parts.empty() && c.parts[0] == part.oid) {
    reply_error(rid, on + " cannot ring the account itself");
    return;
  }
  reply(rid, on + (p.bool2 ? " video=T" : ""));
  if (c.call) {
    m_log.printf("CALL", "%u already on conversation #%u: Ring ignored", c.call, c.oid);
    return;
  }
  start_outgoing(c, part.oid);
}

}  // namespace velsim
