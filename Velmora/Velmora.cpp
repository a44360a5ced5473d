#include "Velmora/Velmora.h"

#include <mutex>

#include "Protocol/SipHandler.h"
#include "Velmora/AppToken.h"
#include "Velmora/registry/Registry.h"

Velmora::Velmora() : m_siphandler(std::make_unique<SipHandler>()) { m_siphandler->StartSipHandler(); }

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
  getKeyPair();
  return 1;
}
