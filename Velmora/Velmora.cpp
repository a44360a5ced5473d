#include "Velmora/Velmora.h"

#include <pthread.h>

#include <mutex>

#include "Protocol/SipHandler.h"
#include "Tools/ReadXml.h"
#include "Velmora/AppToken.h"
#include "Velmora/SkypeAccounts.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

Velmora::Velmora() : m_siphandler(std::make_unique<SipHandler>()) {
  m_siphandler->StartSipHandler();
  // A Skype call answered on the voice host answers its SIP leg.
  sip_call_accept = [this](S_User& user) { m_siphandler->SIPCallAccept(user); };
}

Velmora::~Velmora() {}

void Velmora::Init() {
  pthread_mutex_lock(&gw_sipdata_thread.rec_thread_mutex);
  gw_sipdata_thread.activesipchannel = 0;
  pthread_mutex_unlock(&gw_sipdata_thread.rec_thread_mutex);
  RegisterSipHandlers();
}

int Velmora::Begin() {
  Init();
  StartRegistration();

  // The record writer thread; its handle is not kept.
  pthread_t cdr;
  if (pthread_create(&cdr, nullptr, &Velmora::cdr_thread, this) == 0) {
    pthread_detach(cdr);
  } else {
    GW_TRACE("cannot start the record writer thread\n\n");
  }

  getKeyPair();

  // Each account's session, login and voice host.
  StartSkypeAccounts(this);

  // Each account's numbers called today.
  if (rdxml) rdxml->ReadSkypeCalllogs(skypes);
  return 1;
}
