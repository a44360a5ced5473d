// Conversations and calls: an outgoing call rung by the gateway goes
// through VOICE_CONNECTING and RINGING to the remote party's behaviour; an
// incoming call rings for the account until the gateway joins it; either
// side may end it.

#include <cctype>

#include "Simulator/ApiFields.h"
#include "Simulator/ApiIds.h"
#include "Simulator/Model.h"

namespace velsim {

using namespace api;

namespace {

bool is_number(const std::string& s) {
  if (s.empty()) return false;
  for (size_t n = 0; n < s.size(); ++n)
    if (!isdigit(static_cast<unsigned char>(s[n])) && !(n == 0 && s[n] == '+')) return false;
  return true;
}

}  // namespace

ConversationObj& Model::conversation_for(const std::string& identity) {
  for (auto& [oid, c] : m_convs)
    if (c.listed && lower(c.identity) == lower(identity)) return c;
  ConversationObj c;
  c.oid = m_next_oid++;
  c.identity = identity;
  c.created = now();
  c.livestatus = live::NONE;
  uint32_t oid = c.oid;
  m_convs.emplace(oid, std::move(c));
  ConversationObj& stored = m_convs.at(oid);
  stored.parts.push_back(new_participant(oid, m_name));
  stored.parts.push_back(new_participant(oid, identity));
  m_log.printf("CONV", "#%u created for %s, participants #%u (own) #%u", oid, identity.c_str(), stored.parts[0],
               stored.parts[1]);
  return stored;
}

uint32_t Model::new_participant(uint32_t conv, const std::string& identity) {
  ParticipantObj p;
  p.oid = m_next_oid++;
  p.conv = conv;
  p.identity = identity;
  p.voice = voice::AVAILABLE;
  uint32_t oid = p.oid;
  m_parts.emplace(oid, std::move(p));
  return oid;
}

uint32_t Model::post_message(uint32_t conv, uint32_t type, const std::string& author, const std::string& body,
                             uint32_t leavereason) {
  MessageObj m;
  m.oid = m_next_oid++;
  m.conv = conv;
  m.type = type;
  m.author = author;
  m.body = body;
  m.timestamp = now();
  m.leavereason = leavereason;
  uint32_t oid = m.oid;
  m_msgs.emplace(oid, std::move(m));
  return oid;
}

void Model::set_voice(uint32_t participant, uint32_t s) {
  auto it = m_parts.find(participant);
  if (it == m_parts.end() || it->second.voice == s) return;
  it->second.voice = s;
  change(mod::PARTICIPANT, participant, prop::PART_VOICE_STATUS);
}

void Model::set_livestatus(ConversationObj& c, uint32_t s) {
  if (c.livestatus == s) return;
  c.livestatus = s;
  change(mod::CONVERSATION, c.oid, prop::CONV_LOCAL_LIVESTATUS);
}

void Model::list_change(uint32_t conv, bool added, uint32_t type) {
  api::ListChangeEvent e;
  e.conversation = conv;
  e.type = type;
  e.added = added;
  event(mod::SKYPE, event::ON_CONVERSATION_LIST_CHANGE, &e, api::D_EV_LIST_CHANGE,
        "OnConversationListChange conv=#" + std::to_string(conv) + " type=" + (type == list::LIVE ? "LIVE" : "ALL") +
            " added=" + (added ? "T" : "F"));
}

Call* Model::live_call(uint32_t id) {
  auto it = m_calls.find(id);
  if (it == m_calls.end() || it->second.state == CallState::Ended) return nullptr;
  return &it->second;
}

namespace {

std::string debuginfo(uint32_t cmid, const std::string& codec_hint) {
  return "CallMember ObjID: " + std::to_string(cmid) + "\nMedia: " + codec_hint + "\n";
}

}  // namespace

void Model::start_outgoing(ConversationObj& c, uint32_t remote) {
  Call call;
  call.id = m_next_call++;
  call.incoming = false;
  call.conv = c.oid;
  call.own = c.parts[0];
  call.remote = remote;
  call.peer = m_parts.at(remote).identity;
  call.cmid = m_next_cmid++;
  call.party = m_settings.party_for(call.peer);
  call.tone_hz = call.party.tone_hz;
  call.state = CallState::Connecting;
  uint32_t id = call.id;
  m_calls.emplace(id, call);
  c.call = id;
  m_log.printf("CALL", "%u outgoing to %s conv=#%u cmid=%u behaviour=%s tone=%d", id, call.peer.c_str(), c.oid,
               call.cmid, answer_name(call.party.answer), call.tone_hz);

  for (uint32_t part : c.parts) {
    m_parts.at(part).debuginfo = debuginfo(call.cmid, "voice");
    m_parts.at(part).leavereason = 0;
    change(mod::PARTICIPANT, part, prop::PART_DEBUGINFO);
  }
  set_livestatus(c, live::STARTING);
  list_change(c.oid, true);
  set_voice(remote, voice::CONNECTING);
  m_voice.open(id, call.cmid, c.oid, call.tone_hz, call.party.audio_file, false);
  after(call.party.ring_delay_ms, id, &Model::outgoing_ringing);
}

void Model::outgoing_ringing(uint32_t id, uint32_t epoch) {
  Call* call = live_call(id);
  if (!call || call->epoch != epoch || call->state != CallState::Connecting) return;
  const Party& party = call->party;
  if (party.answer == Answer::Busy) {
    end_call(*call, leave::LIVE_BUSY, true, "remote party busy");
    return;
  }
  call->state = CallState::Ringing;
  set_voice(call->remote, voice::RINGING);
  m_log.printf("CALL", "%u ringing", id);
  switch (party.answer) {
    case Answer::Answer:
      m_sched.after(party.answer_delay_ms, [this, id, epoch] {
        std::lock_guard<std::mutex> lock(m_mutex);
        Call* c = live_call(id);
        if (c && c->epoch == epoch) answer_outgoing(*c);
      });
      break;
    case Answer::Early:
      after(party.early_media_ms, id, &Model::outgoing_early);
      break;
    case Answer::Reject:
      m_sched.after(party.answer_delay_ms, [this, id, epoch] {
        std::lock_guard<std::mutex> lock(m_mutex);
        Call* c = live_call(id);
        if (c && c->epoch == epoch)
          end_call(*c, is_number(c->peer) ? leave::LIVE_PSTN_CALL_REJECTED : leave::LIVE_MANUAL, true,
                   "remote party rejected");
      });
      break;
    case Answer::NoAnswer:
      m_sched.after(party.noanswer_ms, [this, id, epoch] {
        std::lock_guard<std::mutex> lock(m_mutex);
        Call* c = live_call(id);
        if (c && c->epoch == epoch) end_call(*c, leave::LIVE_NO_ANSWER, true, "no answer");
      });
      break;
    case Answer::Busy:
    case Answer::Manual:
      break;
  }
}

void Model::outgoing_early(uint32_t id, uint32_t epoch) {
  Call* call = live_call(id);
  if (!call || call->epoch != epoch || call->state != CallState::Ringing) return;
  call->state = CallState::Early;
  set_voice(call->remote, voice::EARLY_MEDIA);
  m_voice.start_sending(id);
  m_log.printf("CALL", "%u early media", id);
  m_sched.after(call->party.answer_delay_ms, [this, id, epoch] {
    std::lock_guard<std::mutex> lock(m_mutex);
    Call* c = live_call(id);
    if (c && c->epoch == epoch) answer_outgoing(*c);
  });
}

void Model::answer_outgoing(Call& call) {
  if (call.incoming || call.state == CallState::Live) return;
  ++call.epoch;  // the pending ring steps are void now
  call.state = CallState::Live;
  ConversationObj& c = m_convs.at(call.conv);
  c.live_start = now();
  m_parts.at(call.remote).live_start = c.live_start;
  m_parts.at(call.own).live_start = c.live_start;
  m_log.printf("CALL", "%u answered by %s", call.id, call.peer.c_str());
  m_voice.start_recording(call.id);
  m_voice.start_sending(call.id);
  set_voice(call.remote, voice::SPEAKING);
  set_voice(call.own, voice::SPEAKING);
  set_livestatus(c, live::IM_LIVE);
  uint32_t msg = post_message(c.oid, msgtype::STARTED_LIVESESSION, m_name, "", 0);
  message_event(msg, c.oid, "STARTED_LIVESESSION");
}

void Model::answer_incoming(Call& call) {
  ++call.epoch;
  call.state = CallState::Live;
  ConversationObj& c = m_convs.at(call.conv);
  c.live_start = now();
  m_parts.at(call.remote).live_start = c.live_start;
  m_parts.at(call.own).live_start = c.live_start;
  m_log.printf("CALL", "%u answered by the gateway", call.id);
  m_voice.start_recording(call.id);
  set_voice(call.remote, voice::SPEAKING);
  set_voice(call.own, voice::SPEAKING);
  set_livestatus(c, live::IM_LIVE);
  uint32_t msg = post_message(c.oid, msgtype::STARTED_LIVESESSION, call.peer, "", 0);
  message_event(msg, c.oid, "STARTED_LIVESESSION");
}

void Model::end_call(Call& call, uint32_t leavereason, bool by_remote, const std::string& why) {
  if (call.state == CallState::Ended) return;
  ++call.epoch;
  CallState was = call.state;
  call.state = CallState::Ended;
  call.end_reason = why;
  ConversationObj& c = m_convs.at(call.conv);
  m_log.printf("CALL", "%u ended (%s) in state %s, leave reason %u", call.id, why.c_str(), call_state_name(was),
               leavereason);
  m_parts.at(call.remote).leavereason = leavereason;
  change(mod::PARTICIPANT, call.remote, prop::PART_LAST_LEAVEREASON);
  set_voice(call.remote, voice::STOPPED);
  set_voice(call.own, voice::STOPPED);
  set_livestatus(c, live::RECENTLY_LIVE);
  c.call = 0;
  list_change(c.oid, false);
  uint32_t msg =
      post_message(c.oid, msgtype::ENDED_LIVESESSION, by_remote ? call.peer : m_name, "", leavereason);
  message_event(msg, c.oid, "ENDED_LIVESESSION");
  m_voice.close(call.id);
}

void Model::end_all_calls(uint32_t leavereason, const std::string& why) {
  for (auto& [id, call] : m_calls)
    if (call.state != CallState::Ended) end_call(call, leavereason, false, why);
}

// ---- control of the remote parties ----

uint32_t Model::resolve_call(uint32_t id) {
  if (id) return m_calls.count(id) ? id : 0;
  for (auto it = m_calls.rbegin(); it != m_calls.rend(); ++it)
    if (it->second.state != CallState::Ended) return it->first;
  return m_calls.empty() ? 0 : m_calls.rbegin()->first;
}

std::string Model::incoming_call(const std::string& caller, int tone_hz) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return "ERR no client connection";
  if (m_account.status != status::LOGGED_IN) return "ERR not logged in";
  if (lower(caller) == lower(m_name)) return "ERR the account cannot call itself";
  ConversationObj& c = conversation_for(caller);
  if (c.call) return "ERR conversation busy with call " + std::to_string(c.call);
  Call call;
  call.id = m_next_call++;
  call.incoming = true;
  call.conv = c.oid;
  call.own = c.parts[0];
  call.remote = c.parts[1];
  call.peer = caller;
  call.cmid = m_next_cmid++;
  call.party = m_settings.party_for(caller);
  call.tone_hz = tone_hz >= 0 ? tone_hz : m_settings.caller_tone_hz;
  call.state = CallState::RingingForMe;
  uint32_t id = call.id;
  m_calls.emplace(id, call);
  c.call = id;
  m_log.printf("CALL", "%u incoming from %s conv=#%u cmid=%u tone=%d", id, caller.c_str(), c.oid, call.cmid,
               call.tone_hz);
  for (uint32_t part : c.parts) {
    m_parts.at(part).debuginfo = debuginfo(call.cmid, "voice");
    m_parts.at(part).leavereason = 0;
    change(mod::PARTICIPANT, part, prop::PART_DEBUGINFO);
  }
  set_voice(call.remote, voice::RINGING);
  set_livestatus(c, live::RINGING_FOR_ME);
  list_change(c.oid, true);
  // The voice channel follows the ringing, so the gateway has its channel
  // record by the time the channel is created.
  uint32_t epoch = call.epoch;
  m_sched.after(50, [this, id] {
    std::lock_guard<std::mutex> lock(m_mutex);
    Call* c = live_call(id);
    if (c) m_voice.open(id, c->cmid, c->conv, c->tone_hz, c->party.audio_file, true);
  });
  m_sched.after(m_settings.incoming_timeout_ms, [this, id, epoch] {
    std::lock_guard<std::mutex> lock(m_mutex);
    Call* c = live_call(id);
    if (c && c->epoch == epoch && c->state == CallState::RingingForMe)
      end_call(*c, leave::LIVE_NO_ANSWER, true, "caller gave up");
  });
  return "OK call=" + std::to_string(id) + " conv=" + std::to_string(c.oid) + " cmid=" + std::to_string(call.cmid);
}

std::string Model::remote_answer(uint32_t id) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Call* call = live_call(resolve_call(id));
  if (!call) return "ERR no such call";
  if (call->incoming) return "ERR call " + std::to_string(call->id) + " is incoming: the gateway answers it";
  if (call->state == CallState::Live) return "ERR call already live";
  answer_outgoing(*call);
  return "OK call=" + std::to_string(call->id) + " live";
}

std::string Model::remote_end(uint32_t id, const std::string& how) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Call* call = live_call(resolve_call(id));
  if (!call) return "ERR no such call";
  uint32_t reason = leave::LIVE_MANUAL;
  if (how == "busy") {
    if (call->incoming || call->state == CallState::Live) return "ERR only a ringing outgoing call can be busy";
    reason = leave::LIVE_BUSY;
  } else if (how == "reject") {
    if (call->state == CallState::Live) return "ERR call already live";
    if (!call->incoming && is_number(call->peer)) reason = leave::LIVE_PSTN_CALL_REJECTED;
  }
  end_call(*call, reason, true, "remote " + how);
  return "OK call=" + std::to_string(call->id) + " ended";
}

std::string Model::remote_dtmf(uint32_t id, const std::string& digits) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Call* call = live_call(resolve_call(id));
  if (!call) return "ERR no such call";
  std::vector<uint32_t> values;
  for (char d : digits) {
    if (d >= '0' && d <= '9')
      values.push_back(static_cast<uint32_t>(d - '0'));
    else if (d == '*')
      values.push_back(DTMF_STAR);
    else if (d == '#')
      values.push_back(DTMF_POUND);
    else
      return std::string("ERR bad digit '") + d + "'";
  }
  if (values.empty() || values.size() > 64) return "ERR give 1 to 64 digits";
  uint32_t call_id = call->id, epoch = call->epoch, part = call->remote;
  for (size_t n = 0; n < values.size(); ++n) {
    uint32_t v = values[n];
    m_sched.after(static_cast<int>(n) * 150, [this, call_id, epoch, part, v] {
      std::lock_guard<std::mutex> lock(m_mutex);
      Call* c = live_call(call_id);
      if (!c || c->epoch != epoch) return;
      api::DtmfEvent e;
      e.participant = part;
      e.dtmf = v;
      event(mod::PARTICIPANT, event::ON_INCOMING_DTMF, &e, api::D_EV_DTMF,
            "OnIncomingDTMF part=#" + std::to_string(part) + " dtmf=" + std::to_string(v));
    });
  }
  return "OK call=" + std::to_string(call_id) + " digits=" + digits;
}

std::string Model::remote_chat(const std::string& from, const std::string& text) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return "ERR no client connection";
  if (m_account.status != status::LOGGED_IN) return "ERR not logged in";
  ConversationObj& c = conversation_for(from);
  uint32_t msg = post_message(c.oid, msgtype::POSTED_TEXT, from, text, 0);
  m_log.printf("CHAT", "%s posted: %s", from.c_str(), text.c_str());
  message_event(msg, c.oid, "POSTED_TEXT by " + from);
  return "OK msg=" + std::to_string(msg) + " conv=" + std::to_string(c.oid);
}

std::string Model::set_tone(uint32_t id, int tone_hz) {
  std::lock_guard<std::mutex> lock(m_mutex);
  Call* call = live_call(resolve_call(id));
  if (!call) return "ERR no such call";
  call->tone_hz = tone_hz;
  m_voice.set_tone(call->id, tone_hz);
  return "OK call=" + std::to_string(call->id) + " tone=" + std::to_string(tone_hz);
}

}  // namespace velsim
