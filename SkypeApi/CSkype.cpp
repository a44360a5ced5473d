#include "SkypeApi/CSkype.h"

#include <cstdio>
#include <mutex>

#include "SkypeApi/GatewayEvents.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

void print_line(const char* text) {
  printf("%s\n", text);
  fflush(stdout);
}

}  // namespace

CSkype::CSkype(GatewayEvents* gateway, S_Skype* s_skype, int max_processors)
    : Skype(max_processors), m_context(gateway), m_s_skype(s_skype) {
  m_vhstate = s_skype && s_skype->vhstate ? s_skype->vhstate : std::make_shared<VoiceHostAccountState>();
}

CSkype::~CSkype() {
  // The references must go while the object model is still whole.
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    activeAccount = AccountRef();
    current_conversation = ConversationRef();
    last_message = MessageRef();
  }
  Skype::stop();
}

ContactGroup* CSkype::newContactGroup(int oid) { return new CContactGroup(oid, this); }
Contact* CSkype::newContact(int oid) { return new CContact(oid, this); }
ContactSearch* CSkype::newContactSearch(int oid) { return new CContactSearch(oid, this); }
Participant* CSkype::newParticipant(int oid) { return new CParticipant(oid, this); }
Conversation* CSkype::newConversation(int oid) { return new CConversation(oid, this); }
Message* CSkype::newMessage(int oid) { return new CMessage(oid, this); }
Video* CSkype::newVideo(int oid) { return new CVideo(oid, this); }
Voicemail* CSkype::newVoicemail(int oid) { return new CVoicemail(oid, this); }
Sms* CSkype::newSms(int oid) { return new CSms(oid, this); }
Transfer* CSkype::newTransfer(int oid) { return new CTransfer(oid, this); }
Account* CSkype::newAccount(int oid) { return new CAccount(oid, this); }

void CSkype::OnConversationListChange(const ConversationRef& conversation, const Conversation::LIST_TYPE&,
                                      const bool&) {
  if (m_context) m_context->SkypeOnConversationListChange(m_s_skype, conversation);
}

void CSkype::OnMessage(const MessageRef& message, const bool&, const MessageRef&, const ConversationRef& conversation) {
  if (!message) return;
  set_last_message(message);
  if (m_context) m_context->SkypeOnmessage(m_s_skype, message, conversation);
}

void CSkype::Connecting() { print_line("::: Connecting to skypekit"); }

void CSkype::Connected() {
  connected = true;
  print_line("::: Connected to skypekit");
}

void CSkype::Disconnected() {
  print_line("\n::: Disconnected from skypekit, enter 'r' to reconnect...\n");
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    activeAccount = AccountRef();
    current_conversation = ConversationRef();
    last_message = MessageRef();
  }
  connected = false;
}

void CSkype::OnError(CONNECTION_ERROR error) {
  if (error == SSL_CERTIFICATE_LOAD_ERR) print_line("::: error loading ssl certificate");
}

void CSkype::stop() { Skype::stop(); }

bool CSkype::loggedIn() {
  DRef<CAccount, Account> account;
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    account = activeAccount;
  }
  CAccount* proxy = account ? account.fetch() : nullptr;
  return proxy && proxy->getStatus() == Account::LOGGED_IN;
}

bool CSkype::loggedOut() {
  DRef<CAccount, Account> account;
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    account = activeAccount;
  }
  CAccount* proxy = account ? account.fetch() : nullptr;
  if (!proxy) return false;
  unsigned status = proxy->getStatus();
  return status == Account::LOGGED_OUT || status == Account::LOGGED_OUT_AND_PWD_SAVED;
}

unsigned CSkype::GetBalance() {
  DRef<CAccount, Account> account;
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    account = activeAccount;
  }
  CAccount* proxy = account ? account.fetch() : nullptr;
  unsigned balance = 0;
  if (!proxy || !proxy->GetPropSkypeoutBalance(balance)) return 0;
  return balance;
}

void CSkype::login_with_account(const std::string& name, const std::string& password) {
  GW_TRACE(" account %s pwd=%s \n\n", name.c_str(), password.c_str());
  AccountRef account;
  if (GetAccount(SEString(name.c_str()), account) && account) {
    // The proxy is made before the reference is kept, so that the kept
    // reference holds it (and its OnChange receives the login progress).
    CAccount* proxy = static_cast<CAccount*>(account.fetch());
    {
      std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
      activeAccount = account;
    }
    if (proxy) proxy->LoginWithPassword(SEString(password.c_str()), false, true);
    GW_TRACE(" account %s login in success\n\n", name.c_str());
  } else {
    GW_TRACE(" account %s is not available, use aL command to login manually\n\n", name.c_str());
  }
}

AccountRef CSkype::get_active_account() {
  if (!loggedIn()) {
    print_line("You are not logged in");
    return AccountRef();
  }
  std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
  return activeAccount;
}

ConversationRef CSkype::get_current_conversation() {
  ConversationRef current;
  {
    std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
    current = current_conversation;
  }
  if (!loggedIn() || !current) {
    print_line("You are not logged in or there is no selected conversation (use cc)");
    return ConversationRef();
  }
  return current;
}

void CSkype::set_current_conversation(const ConversationRef& conversation) {
  DRef<CConversation, Conversation> current(conversation);
  current.fetch();  // made first, so that the kept reference holds the proxy
  std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
  current_conversation = current;
}

int CSkype::select_conversation(const SEString& identity) {
  if (!loggedIn()) {
    print_line("You are not logged in");
    return -1;
  }
  ConversationRefs list;
  if (!GetConversationList(list, Conversation::ALL_CONVERSATIONS)) {
    print_line("Unable to get conversation list");
    return -1;
  }
  for (size_t i = 0; i < list.size(); ++i) {
    ConversationRef conversation = list[i];
    Conversation* proxy = conversation.fetch();
    SEString id;
    if (proxy && proxy->GetPropIdentity(id) && id == identity) {
      set_current_conversation(conversation);
      return static_cast<int>(conversation.get_oid());
    }
  }
  return -1;
}

MessageRef CSkype::get_last_message() {
  std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
  return last_message;
}

void CSkype::set_last_message(const MessageRef& message) {
  std::lock_guard<Sid::Mutex> lock(m_ev_mutex);
  last_message = message;
}

CallLogs& CSkype::calllogs() { return m_s_skype->calllogs; }
