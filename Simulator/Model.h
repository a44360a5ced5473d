#ifndef SIMULATOR_MODEL_H
#define SIMULATOR_MODEL_H

// The account, its conversations, participants and messages, and the calls
// on them: what the runtime's API shows the gateway, and how it changes on
// the gateway's calls, on timers and on control commands.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Simulator/ApiCalls.h"
#include "Simulator/ApiIds.h"
#include "Simulator/ApiWriter.h"
#include "Simulator/EventLog.h"
#include "Simulator/Links.h"
#include "Simulator/Scheduler.h"
#include "Simulator/Settings.h"

namespace velsim {

struct AccountObj {
  uint32_t oid = 0;
  std::string name;
  uint32_t status = 0;
  uint32_t logoutreason = 0;
  unsigned balance = 0;
  std::string currency;
  unsigned precision = 2;
  uint32_t epoch = 0;  // bumps on every login or logout, cancelling timers
};

struct ConversationObj {
  uint32_t oid = 0;
  std::string identity;
  uint32_t livestatus = 0;
  uint32_t created = 0;
  uint32_t live_start = 0;
  std::vector<uint32_t> parts;  // own participant first
  bool listed = true;           // false after Delete
  uint32_t call = 0;            // the call on it, 0 when none
};

struct ParticipantObj {
  uint32_t oid = 0;
  uint32_t conv = 0;
  std::string identity;
  uint32_t voice = 0;
  std::string debuginfo;
  uint32_t live_start = 0;
  uint32_t leavereason = 0;
};

struct MessageObj {
  uint32_t oid = 0;
  uint32_t conv = 0;
  uint32_t type = 0;
  std::string author;
  std::string body;
  uint32_t timestamp = 0;
  uint32_t leavereason = 0;
};

enum class CallState { Connecting, Ringing, Early, RingingForMe, Live, Ended };
const char* call_state_name(CallState s);

struct Call {
  uint32_t id = 0;
  bool incoming = false;
  uint32_t conv = 0, remote = 0, own = 0;
  uint32_t cmid = 0;
  CallState state = CallState::Connecting;
  Party party;
  int tone_hz = 0;
  uint32_t epoch = 0;
  std::string peer;
  std::string end_reason;
  std::vector<uint32_t> gateway_dtmf;     // SendDTMF from the gateway
  std::vector<std::string> gateway_text;  // PostText from the gateway
};

class Model {
public:
  Model(std::string account, Settings settings, EventLog& log, VoiceLink& voice);
  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // The client connection.
  void session_started(Outbound* out);
  void session_ended();
  // A call whose parameters were decoded (or, for a method not served,
  // skipped), and a property request; each is answered at once.
  void handle_call(uint32_t module, uint32_t method, uint32_t rid, const api::CallParams& params);
  void handle_get(const std::vector<api::PropRef>& props);
  // A call whose parameters could not be decoded.
  void reject_call(uint32_t rid);

  // Control commands: each returns the reply line ("OK ..." or "ERR ...").
  std::string incoming_call(const std::string& caller, int tone_hz);
  std::string remote_answer(uint32_t call);
  std::string remote_end(uint32_t call, const std::string& how);  // "hangup", "reject", "busy"
  std::string remote_dtmf(uint32_t call, const std::string& digits);
  std::string remote_chat(const std::string& from, const std::string& text);
  std::string set_tone(uint32_t call, int tone_hz);
  std::string set_balance(unsigned balance, const std::string& currency);
  std::string force_logout(uint32_t reason);
  std::string drop_connection();
  std::string set_setting(const std::string& key, const std::string& value);
  std::string status_text();
  std::string calls_text();
  std::string call_text(uint32_t call);
  // Call 0 names the most recent call that has not ended (or, failing
  // that, the most recent call); 0 when there is none.
  uint32_t resolve_call(uint32_t call);

private:
  // Everything below runs with m_mutex held.
  void send(std::string bytes, std::string log_line);
  void reply(uint32_t rid, const std::string& what);  // no results
  void reply(uint32_t rid, const void* record, unsigned descriptor, const std::string& what);
  void reply_error(uint32_t rid, const std::string& why);
  void event(uint32_t module, uint32_t id, const void* record, unsigned descriptor, const std::string& what);
  void message_event(uint32_t msg, uint32_t conv, const std::string& what);
  void change(uint32_t module, uint32_t oid, uint32_t prop);
  bool prop_value(uint32_t module, uint32_t oid, uint32_t prop, PropValue& v) const;

  // Calls of the API, one per method; each writes its reply.
  void skype_call(uint32_t method, uint32_t rid, const api::CallParams& p);
  void account_call(uint32_t method, uint32_t rid, const api::CallParams& p);
  void conversation_call(uint32_t method, uint32_t rid, const api::CallParams& p);
  void participant_call(uint32_t method, uint32_t rid, const api::CallParams& p);

  // Account.
  void login(const std::string& password);
  void login_step(uint32_t epoch, bool good, int step);
  void logout(uint32_t reason);
  void set_status(uint32_t status);

  // Conversations and calls.
  ConversationObj& conversation_for(const std::string& identity);
  uint32_t new_participant(uint32_t conv, const std::string& identity);
  uint32_t post_message(uint32_t conv, uint32_t type, const std::string& author, const std::string& body,
                        uint32_t leavereason);
  void set_voice(uint32_t participant, uint32_t status);
  void set_livestatus(ConversationObj& c, uint32_t status);
  // A conversation joining or leaving a list (the live list by default).
  void list_change(uint32_t conv, bool added, uint32_t type = api::list::LIVE);
  void start_outgoing(ConversationObj& c, uint32_t remote);
  void outgoing_ringing(uint32_t call, uint32_t epoch);
  void outgoing_early(uint32_t call, uint32_t epoch);
  void answer_outgoing(Call& call);
  void answer_incoming(Call& call);
  void end_call(Call& call, uint32_t leavereason, bool by_remote, const std::string& why);
  void end_all_calls(uint32_t leavereason, const std::string& why);
  Call* live_call(uint32_t id);
  void after(int ms, uint32_t call, void (Model::*step)(uint32_t, uint32_t));

  uint32_t now() const;

  std::mutex m_mutex;
  std::string m_name;
  Settings m_settings;
  EventLog& m_log;
  VoiceLink& m_voice;
  Outbound* m_out = nullptr;
  ApiWriter m_writer;
  uint32_t m_next_oid = 1;
  uint32_t m_next_cmid = 1001;
  uint32_t m_next_call = 1;
  AccountObj m_account;
  std::map<uint32_t, ConversationObj> m_convs;
  std::map<uint32_t, ParticipantObj> m_parts;
  std::map<uint32_t, MessageObj> m_msgs;
  std::map<uint32_t, Call> m_calls;
  Scheduler m_sched;  // last: stopped before the rest goes
};

}  // namespace velsim

#endif
