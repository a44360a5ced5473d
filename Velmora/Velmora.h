#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

#include <functional>
#include <memory>

class SipHandler;
struct eXosip_event;
typedef struct eXosip_event eXosip_event_t;
struct S_User;
struct AUDIO_CAPTURE_s;
struct AUDIO_PLAY_s;
struct sdp_message;
typedef struct sdp_message sdp_message_t;

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

  // Answers a channel's SIP leg (200 with the gateway's SDP): the SIP
  // handler's SIPCallAccept, unless a test puts something else in. Called
  // with the channel-table lock held.
  std::function<void(S_User&)> sip_call_accept;

  // Copies the peer's RTP address and port from its SDP into the sending
  // endpoint (when the address differs from the one already there).
  // -1 without SDP, without a connection address, without an endpoint or
  // with an address or port that cannot be taken; 0 otherwise, also when the
  // SDP has no audio stream (nothing changes then). Static: it reads only
  // its arguments.
  static int InitAudioAttr(sdp_message_t* sdp, AUDIO_CAPTURE_s* capture, AUDIO_PLAY_s* play);

  // --- SIP side (Velmora/sip/).
  // Registers `handler` for SIP event `type` with this object as its context.
  void InsertProtocolHandler(int type, void (*handler)(void*, eXosip_event_t*));
  // The handlers of the SIP event table that exist so far (Init calls it).
  void RegisterSipHandlers();
  // Starts the registration thread on RunRegSip (Begin calls it); its handle
  // goes to sipreg_thread_id. False when the thread cannot be created.
  bool StartRegistration();

  // The registration thread: `arg` is the gateway object; never returns.
  static void* RunRegSip(void* arg);
  void RegSipRun();
  // EXOSIP_REGISTRATION_SUCCESS and EXOSIP_REGISTRATION_FAILURE.
  static void ProcRegSucess(void* context, eXosip_event_t* event);
  static void RegFailed(void* context, eXosip_event_t* event);

  SipHandler* siphandler() const { return m_siphandler.get(); }

  std::unique_ptr<SipHandler> m_siphandler;  // created and started by the constructor

  // The record writer thread (RecordWriter); `arg` is the gateway object.
  static void* cdr_thread(void* arg);

  // Logs every account that has a session object in again with its own
  // name and password; called when an account reports a logout.
  static void skypeAccountLogin();

  S_User* m_curuser = nullptr;  // declared, not used
};

#endif
