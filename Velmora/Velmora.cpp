#include "Velmora/Velmora.h"

#include <mutex>

#include "Velmora/AppToken.h"
#include "Velmora/registry/Registry.h"

Velmora::Velmora() {}

Velmora::~Velmora() {}

void Velmora::Init() {
  pthread_mutex_lock(&gw_sipdata_thread.rec_thread_mutex);
  gw_sipdata_thread.activesipchannel = 0;
  pthread_mutex_unlock(&gw_sipdata_thread.rec_thread_mutex);
}

int Velmora::Begin() {
  Init();
  getKeyPair();
  return 1;
}
