#ifndef SKYPEAPI_CSKYPE_H
#define SKYPEAPI_CSKYPE_H

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "ClientRuntime/api/generated/SkypeApi.h"
#include "SkypeApi/AccountSession.h"
#include "SkypeApi/CAccount.h"
#include "SkypeApi/CConversation.h"
#include "SkypeApi/DRef.h"
#include "SkypeApi/SkypeProxies.h"
#include "Velmora/registry/VoiceHostAccountState.h"

class GatewayEvents;
class CallLogs;
struct S_Skype;

// The session object of one Skype account: the client session to its
// runtime, the root of its object cache, and the receiver of its events,
// which it hands on to the gateway.
class CSkype : public Skype, public AccountSession {
public:
  // `gateway` receives the account's events; `s_skype` is the account's
  // record (both outlive the session).
  CSkype(GatewayEvents* gateway, S_Skype* s_skype, int max_processors);
  ~CSkype() override;

  // Factory: the gateway's proxies.
  ContactGroup* newContactGroup(int oid) override;
  Contact* newContact(int oid) override;
  ContactSearch* newContactSearch(int oid) override;
  Participant* newParticipant(int oid) override;
  Conversation* newConversation(int oid) override;
  Message* newMessage(int oid) override;
  Video* newVideo(int oid) override;
  Voicemail* newVoicemail(int oid) override;
  Sms* newSms(int oid) override;
  Transfer* newTransfer(int oid) override;
  Account* newAccount(int oid) override;

  // Events.
  void OnConversationListChange(const ConversationRef& conversation, const Conversation::LIST_TYPE& type,
                                const bool& added) override;
  void OnMessage(const MessageRef& message, const bool& changesInboxTimestamp,
                 const MessageRef& supersedesHistoryMessage, const ConversationRef& conversation) override;

  // Connection state.
  void Connecting() override;
  void Connected() override;
  void Disconnected() override;
  void OnError(CONNECTION_ERROR error) override;

  // AccountSession.
  bool is_connected() const override { return connected.load(); }
  bool loggedIn() override;
  unsigned GetBalance() override;
  void login_with_account(const std::string& name, const std::string& password) override;
  void stop() override;

  bool loggedOut();
  AccountRef get_active_account();
  ConversationRef get_current_conversation();
  void set_current_conversation(const ConversationRef& conversation);
  // The object id of the first conversation whose IDENTITY is `identity`; -1 when none.
  int select_conversation(const SEString& identity);
  MessageRef get_last_message();
  void set_last_message(const MessageRef& message);

  S_Skype* account_record() const { return m_s_skype; }
  GatewayEvents* gateway() const { return m_context; }

  // Per-account tables shared with call control and the voice host. The
  // numbers called today and the voice channel hand-over live with the
  // account record, so that they survive a restart of the session.
  VoiceHostAccountState& voicehost_state() { return *m_vhstate; }
  CallLogs& calllogs();
  // Skype caller identity -> time of that caller's last call; guarded by lastskypecaller_mutex.
  std::map<std::string, long> lastskypecaller;
  Sid::Mutex lastskypecaller_mutex;

  std::atomic<bool> connected{false};

private:
  DRef<CAccount, Account> activeAccount;
  DRef<CConversation, Conversation> current_conversation;
  DRef<CMessage, Message> last_message;
  Sid::Mutex m_ev_mutex;  // guards the three references
  GatewayEvents* m_context;
  S_Skype* m_s_skype;
  std::shared_ptr<VoiceHostAccountState> m_vhstate;
};

#endif
