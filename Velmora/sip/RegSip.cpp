// SIP registration: the thread that registers and refreshes every account
// in a fixed cycle, and the two handlers of the registrar's answers.

#include <pthread.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>

#include "Protocol/SipAuthHeader.h"
#include "Protocol/SipHandler.h"
#include "Protocol/SipStack.h"
#include "Tools/ReadXml.h"
#include "Velmora/Velmora.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

bool takes_part(const S_User& user) { return user.regsip && !user.iscasual; }

// The user part of the request's From URI; empty when there is none.
std::string from_user(osip_message_t* request) {
  if (request == nullptr) return {};
  osip_from_t* from = osip_message_get_from(request);
  if (from == nullptr || from->url == nullptr || from->url->username == nullptr) return {};
  return from->url->username;
}

}  // namespace

bool Velmora::StartRegistration() {
  if (pthread_create(&sipreg_thread_id, nullptr, &Velmora::RunRegSip, this) != 0) {
    printf("pthread_create() failed\n");
    fflush(stdout);
    return false;
  }
  return true;
}

void* Velmora::RunRegSip(void* arg) {
  static_cast<Velmora*>(arg)->RegSipRun();
  return nullptr;
}

void Velmora::RegSipRun() {
  bool retrysoon = true;
  for (;;) {
    std::unique_lock<SkypeMutex> lock(m_usersmutex);
    // Records are never removed from the table, so the iterator stays valid
    // while the lock is released for the pauses.
    for (auto it = users.begin(); it != users.end(); ++it) {
      S_User& user = it->second;
      if (takes_part(user)) {
        if (user.regstatus) {
          m_siphandler->registersip_heartdbeat(user);
        } else {
          m_siphandler->registersip(gwconfig.localip.c_str(), user, user.hostip.c_str(), user.hostport);
        }
      }
      bool pause = !user.iscasual;
      lock.unlock();
      if (pause) sleep(1);
      lock.lock();
    }
    lock.unlock();
    int interval = gwconfig.regsipinterval / 2;
    sleep(static_cast<unsigned>(retrysoon ? 2 : (interval > 0 ? interval : 0)));

    retrysoon = false;
    lock.lock();
    for (auto& [key, user] : users) {
      if (takes_part(user) && !user.regstatus) {
        retrysoon = true;
        break;
      }
    }
  }
}

void Velmora::ProcRegSucess(void* /*context*/, eXosip_event_t* event) {
  if (event == nullptr) return;
  std::string auth;
  {
    SipStackLock stack;
    osip_message_t* message = nullptr;
    if (eXosip_register_build_register(event->rid, gwconfig.regsipinterval, &message) < 0 || message == nullptr)
      return;
    auth = sip_first_authorization(message);
    osip_message_free(message);
  }
  std::lock_guard<SkypeMutex> lock(m_usersmutex);
  for (auto& [key, user] : users) {
    if (user.rid != event->rid) continue;
    user.regstatus = true;
    GW_TRACE("%s registered (rid %d)\n\n", user.sipuserid.c_str(), user.rid);
    if (rdxml != nullptr) rdxml->savesipregState(user);
    if (user.auth.empty() && !auth.empty()) user.auth = auth;
    break;
  }
}

void Velmora::RegFailed(void* context, eXosip_event_t* event) {
  if (event == nullptr || event->response == nullptr || event->response->status_code != 401) return;
  auto* gateway = static_cast<Velmora*>(context);
  std::string fromuser = from_user(event->request);
  std::lock_guard<SkypeMutex> lock(m_usersmutex);
  for (auto& [key, user] : users) {
    if (user.rid != event->rid || user.sipuserid != fromuser) continue;
    user.regstatus = false;
    gateway->m_siphandler->registersip_again(user, event);
    break;
  }
}
