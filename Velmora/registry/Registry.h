#ifndef VELMORA_REGISTRY_REGISTRY_H
#define VELMORA_REGISTRY_REGISTRY_H

// The gateway's registry: the records and process-wide tables through which
// every thread shares configuration and call state, the channel allocator,
// the two queues of the record writer thread and a few string helpers.
//
// Locks: `m_usersmutex` guards `users` and every record in it. A thread that
// holds it may take `workmutex`, `cdrmutex` or `statemutex` (through
// GetChannel, clearChannel, addcdr, addstate), never the reverse.
// `skypes`, `skypegroups`, `dialroutes`, `maproute` and `gwconfig` are filled
// at start-up before any other thread exists and are read without a lock.

#include <pthread.h>

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Velmora/registry/AudioEndpoints.h"
#include "Velmora/registry/CallLogs.h"
#include "Velmora/registry/GuardedRef.h"
#include "Velmora/registry/SessionRef.h"
#include "Velmora/registry/VoiceHostAccountState.h"
#include "VoiceHost/sid/types/SkypeMutex.h"

class CSkype;
class Velmora;
class ReadXml;
class CommandInvoker;
namespace Sid {
class SkypeMultiRTPInterfaceServer;
class SkypeMultiRTPCallbackInterfaceClient;
class SkypeMultiRTPCallbackInterface;
}  // namespace Sid

// Channel status codes (`S_User::status`), also written to the channel state file.
enum {
  CHAN_IDLE = 1,           // the record carries no call
  CHAN_COLLECTING = 3,     // the gateway answered the calling side and collects the number
  CHAN_DIRECTDIAL = 4,     // a direct-dial SIP call whose Skype call is about to be placed
  CHAN_PLACED = 5,         // the outgoing leg has been placed
  CHAN_ALERTING = 6,       // the called side is being alerted
  CHAN_EARLY = 7,          // the Skype side of a SIP call rings or has early media; 183 sent
  CHAN_CONNECTED = 8,      // both legs are connected
  CHAN_BYE = 10,           // a BYE was received and the call is being ended
};

// Call directions (`S_User::calltype`).
enum {
  CALL_NONE = 0,
  CALL_SKYPE_TO_SIP = 1,  // the call arrived on a Skype account
  CALL_SIP_TO_SKYPE = 2,  // the call arrived as a SIP INVITE
};

// Call results (`S_User::callresult`).
enum {
  RESULT_CONNECTED = 0,
  RESULT_NOANSWER = 1,
  RESULT_REFUSED = 2,
  RESULT_FAILED = 3,
  RESULT_NOCHANNEL = 4,
};

// The most channels the gateway can serve (one bit each in `workchannels`).
constexpr int MAX_CHANNELS = 32;

struct S_Skype;

// One call channel record or SIP account record.
struct S_User {
  std::string sipuserid;
  std::string sippwd;
  std::string dispname;
  std::string authname;
  std::string skypeuser;
  std::string skypepwd;
  std::string auth;
  std::string peer;
  std::string peerdisname;
  std::string skypepeer;
  std::string call_member_id;
  std::string hostip;
  std::string fromip;
  std::string directtosipnum;
  time_t start = 0;
  time_t startconversation = 0;
  time_t end = 0;
  int32_t hostport = 0;
  int32_t codec = 0;
  uint32_t conversationid = 0;
  int32_t userid = 0;
  int32_t status = 0;
  int32_t tid = -1;
  int32_t rid = -1;
  int32_t cid = -1;
  int32_t did = -1;
  char phone[32] = {};
  int32_t calltype = 0;
  int32_t countsendrtp = 0;
  int32_t callresult = 0;
  int32_t channel = 0;
  int32_t countmissdata = 0;
  uint32_t maxcalls = 0;
  time_t startrev = 0;
  time_t startskypecall = 0;
  int32_t time = 0;
  int32_t countnum = 0;
  int32_t dtmfpos = 0;
  int32_t tonepos = 0;
  int32_t pos = 0;
  int32_t warningtimes = 0;
  uint32_t senddtmfinterval = 0;
  int32_t sipreqfailtime = 0;
  int32_t sipreqfailtimes = 0;
  int32_t skypertplosstime = 0;
  int32_t ringtimeover = 0;
  bool enddtmf = false;
  bool finishdtmf = false;
  bool iscasual = false;
  bool flagendwarning = false;
  bool flagsipreqfail = false;
  bool flagskypereqfail = false;
  bool directdial = false;
  bool regstatus = false;
  bool regsip = false;
  bool calltoskype = false;
  bool disskypename = false;
  cir_queue_t* pqueue = nullptr;
  int32_t ringreplace = 0;
  bool flagringreplace = false;
  uint8_t dtmf[32] = {};
  uint8_t headdtmf = 0;
  uint8_t taildtmf = 0;
  AUDIO_PLAY_s audioplayer;
  AUDIO_CAPTURE_s audiocapture;
  S_Skype* skype = nullptr;  // the Skype account carrying the call; not owned
};

// One Skype account.
struct S_Skype {
  int32_t id = 0;
  std::string name;
  std::string pwd;
  uint32_t skypecredit = 0;
  // The account's client session object. Every user takes its own
  // reference, so a session replaced by the supervision loop lives until
  // the last thread using it lets go.
  SessionRef skype;
  Velmora* arg = nullptr;       // the gateway object, set when the voice host starts
  // The voice host's objects, set and cleared by its thread; the supervision
  // loop and the RTP receive thread take their own references to use them.
  GuardedRef<Sid::SkypeMultiRTPInterfaceServer> if_serv;         // the voice host server object
  GuardedRef<Sid::SkypeMultiRTPCallbackInterfaceClient> if_client;  // the voice host callback client
  GuardedRef<Sid::SkypeMultiRTPCallbackInterface> cb;  // the callback interface towards the runtime
  // Voice channel hand-over and SkypeOut busy mark; owned by the session object once it exists.
  std::shared_ptr<VoiceHostAccountState> vhstate = std::make_shared<VoiceHostAccountState>();
  bool status = false;          // logged in
  SharedFlag voicehostrun;      // cleared by the supervision loop to stop the voice host
  bool disskypename = false;
  int32_t outtimes = 0;
  uint32_t balance = 0;
  int32_t totalouttime = 0;
  int32_t logouttime = 0;
  time_t loginedtime = 0;
  time_t precalltime = 0;
  // Numbers called today. Held here until the account's session object
  // (CSkype) exists to own it.
  CallLogs calllogs;
};

// One group of Skype accounts.
struct S_Skypegroup {
  std::string skypes;
  int32_t maxcalls = 0;
  int32_t maxcalltimes = 0;
  int32_t sorttype = 0;
  int32_t interval = 0;
};

// One dial route.
struct S_Dialroute {
  int32_t type = 0;  // 0 a SIP account, 1 a Skype account group, 2 a single Skype account
  int32_t order = 0;
  std::string from;
  std::string to;
  std::string dial_pattern;
  std::string directtosipnum;
  bool directdial = false;
  bool disskypename = false;
  int32_t maxcalls = 0;
  int32_t maxcalltimes = 0;
  int32_t sorttype = 0;
  int32_t interval = 0;
};

// The general settings.
struct S_Config {
  std::string serverip;
  std::string localip;
  std::string language;
  std::string countrycallingcodes;
  std::string skypeuser;
  std::string skypepwd;
  std::string dtmftype;
  std::string skypemsg;
  uint32_t skypecredit = 0;
  uint32_t skypecreditmin = 0;
  std::string skypecredittype;
  std::string skypecreditwarn;
  std::string skypecreditwarnaccounts;
  std::string defaultskypeout;
  int32_t localport = 0;
  int32_t servport = 0;
  int32_t regsipinterval = 0;
  int32_t defaultaudioport = 0;
  int32_t rtpplaytype = 0;
  bool regsipflag = false;
  bool directtosipflag = false;
  bool cancallskype = false;
  bool nat = false;
  std::string directtosipnum;
  int32_t warninginterval = 0;
  int32_t warningtimes = 0;
  int32_t dtmflen = 0;
  int32_t lang_len = 0;
  std::map<std::string, std::string> peerips;
  int32_t maxchannels = 0;
};

// One month's section of the statistics file.
struct S_Static {
  int32_t id = 0;
  int32_t incalls = 0;
  int32_t outcalls = 0;
  int32_t incomingcalls = 0;
  int32_t outgoingcalls = 0;
  std::string incomingtimes;
  std::string outgoingtimes;
};

enum rtp_runstate_enum { RTP_RUNSTATE_STOP = 0, RTP_RUNSTATE_RUNNING = 1 };

// The RTP engine's process-wide record of its receive thread.
struct GW_SIPDATA_THREAD {
  pthread_t capture_thd = {};
  pthread_mutex_t capture_thread_mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_t rec_thd = {};
  pthread_mutex_t rec_thread_mutex = PTHREAD_MUTEX_INITIALIZER;  // guards the next two
  volatile int capturerunState = RTP_RUNSTATE_STOP;
  volatile int recrunState = RTP_RUNSTATE_STOP;
  uint8_t activesipchannel = 0;  // channels whose receiver is attached
};

// Tables.
extern std::map<std::string, S_User> users;
extern std::map<int, S_Skype> skypes;
extern std::map<std::string, S_Skypegroup> skypegroups;
extern std::map<int, S_Dialroute> dialroutes;
extern std::map<std::string, std::string> maproute;
extern S_Config gwconfig;

// Objects created at start-up.
extern ReadXml* rdxml;
extern CommandInvoker* invoker;

// Channel allocator: bit i set = channel i + 1 in use.
extern uint32_t workchannels;

// The record writer thread's queues and wake-up condition.
extern std::vector<S_User> v_cdr;
extern std::vector<S_User> v_state;
extern int countcdr;
extern std::mutex cond_prot_lock;
extern std::condition_variable cond_prot;

extern SkypeMutex m_usersmutex;
extern SkypeMutex workmutex;
extern SkypeMutex cdrmutex;
extern SkypeMutex statemutex;

extern GW_SIPDATA_THREAD gw_sipdata_thread;

// Start-up globals.
extern const std::string keyFileName;  // linux.pem in the configuration directory
extern std::vector<char> apptoken_certificate_buf;
extern int keyLen;
extern const int numEventThreads;
extern const char* const inetAddr;
extern std::string myAccountName;
extern std::string myAccountPsw;
extern pthread_t sipreg_thread_id;
extern pthread_t rtp_thread_id;

// Takes the lowest free channel of 1..min(max, 32) and marks it used;
// returns it, or -1 when every channel is in use (or max <= 0).
int GetChannel(int max);

// Marks channel `chan` free again; numbers outside 1..32 change nothing.
void clearChannel(int chan);

// Queue a copy of the record for the writer thread, then wake it.
void addcdr(S_User& user);
void addstate(S_User& user);

// Pointer just past the first place where `len` characters of `source`
// equal the first `len` characters of `chars`; null when there is none.
const char* find_char(const char* source, const char* chars, int len);

// 1 when `s` is exactly `len` characters long and equals the first `len`
// characters of `d` without regard to ASCII case; otherwise 0.
int cmpstr(const char* s, const char* d, int len);

// 1 when `source` holds a non-digit among its characters 0..len (up to its
// NUL): a Skype name; 0 for a telephone number or a null pointer.
int check_skypeaccount(const char* source, int len);

// The channel count: 32 unless VELMORA_CHANNELS holds a number from 0 to 32.
int gw_channel_count();

#endif
