// Receiver records: creation, counting and destruction. The receive thread
// that serves them is in RtpRecvThread.cpp.

#include <memory>
#include <mutex>
#include <new>

#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "Velmora/rtp/RecThreadLock.h"
#include "Velmora/rtp/rtp.h"

int RTP_Recv_Create(RTP_RECV_Str** receiver, uint16_t port, RTP_ON_RECV_CB callback,
                    S_User* ext_args, Velmora* ext_args2) {
  if (receiver == nullptr) return -1;
  *receiver = nullptr;
  std::unique_ptr<RTP_RECV_Str> r;
  try {
    r = std::make_unique<RTP_RECV_Str>();
  } catch (const std::bad_alloc&) {
    GW_TRACE("create new rtp receiver error. not enough memory.\n\n");
    return -1;
  }
  r->sock = -1;  // not polled until the channel's sender socket is attached
  r->listen_port = port;
  r->rtp_on_recv = callback;
  r->ext_args = ext_args;
  r->ext_args2 = ext_args2;
  queue_init(&r->recqueue);
  GW_TRACE("------------- <RTP> Receiver socket create ok.  port=%d \n\n", port);
  *receiver = r.release();
  return 0;
}

void RTP_Recv_Count_Attached() {
  RecThreadLock lock;
  if (gw_sipdata_thread.activesipchannel < 255) ++gw_sipdata_thread.activesipchannel;
}

int RTP_Recv_Destroy(RTP_RECV_Str* receiver) {
  if (receiver == nullptr) return -1;
  std::unique_ptr<RTP_RECV_Str> owned(receiver);
  // The channel must not keep pointing at a freed record; the caller holds
  // the channel table lock, as the receive thread reads this pointer under it.
  if (receiver->ext_args != nullptr && receiver->ext_args->audioplayer.pRevRtp == receiver) {
    receiver->ext_args->audioplayer.pRevRtp = nullptr;
  }
  RecThreadLock lock;
  if (gw_sipdata_thread.activesipchannel > 0) --gw_sipdata_thread.activesipchannel;
  if (gw_sipdata_thread.activesipchannel == 0 &&
      gw_sipdata_thread.recrunState == RTP_RUNSTATE_RUNNING) {
    gw_sipdata_thread.recrunState = RTP_RUNSTATE_STOP;
  }
  return 0;
}
