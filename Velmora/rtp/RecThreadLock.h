#ifndef VELMORA_RTP_RECTHREADLOCK_H
#define VELMORA_RTP_RECTHREADLOCK_H

// Holds `gw_sipdata_thread.rec_thread_mutex` for a scope (engine-internal).

#include "Velmora/registry/Registry.h"

class RecThreadLock {
public:
  RecThreadLock() { pthread_mutex_lock(&gw_sipdata_thread.rec_thread_mutex); }
  ~RecThreadLock() { pthread_mutex_unlock(&gw_sipdata_thread.rec_thread_mutex); }
  RecThreadLock(const RecThreadLock&) = delete;
  RecThreadLock& operator=(const RecThreadLock&) = delete;
};

#endif
