#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

#include <functional>

struct S_User;

// The gateway object: one instance, created by main after the configuration
// has been loaded, never destroyed. Its constructor brings up the SIP side;
// Begin starts the threads and the Skype accounts.
class Velmora {
public:
  Velmora();
  virtual ~Velmora();

  Velmora(const Velmora&) = delete;
  Velmora& operator=(const Velmora&) = delete;

  // Creates the command invoker and registers the SIP event handlers.
  void Init();

  // Starts the registration and record writer threads and the Skype
  // accounts; returns 1.
  int Begin();

  // Thread entry of an account's voice host; `account` is its S_Skype,
  // whose `arg` holds the gateway object. Returns null when the host ends.
  static void* RunVoiceHost(void* account);
  // Serves the account's runtime until its connection ends or
  // `voicehostrun` is cleared; returns 0.
  int CreatVoicehost(void* account);

  // Answers a channel's SIP leg (200 with the gateway's SDP); installed by
  // the SIP handler, called with the channel-table lock held.
  std::function<void(S_User&)> sip_call_accept;
  // The record writer thread (RecordWriter); `arg` is the gateway object.
  static void* cdr_thread(void* arg);

  // Logs every account that has a session object in again with its own
  // name and password; called when an account reports a logout.
  static void skypeAccountLogin();

  S_User* m_curuser = nullptr;  // declared, not used
};

#endif
