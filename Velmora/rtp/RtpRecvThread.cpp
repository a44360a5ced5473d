// The one receive thread that serves the SIP-side sockets of all channels.
//
// Life cycle (all under `rec_thread_mutex`): a start finds the thread either
// serving (nothing to do; if the last receiver had just been destroyed the
// thread is told to go on), or gone or committed to exit, in which case the
// finished thread is joined and a new one started. The thread commits to exit
// in two places: at the end of a pass that finds the state STOP, and when a
// pass finds no socket to poll (then with the channel table still locked, so
// that a channel attaching its receiver meanwhile cannot be missed). After
// committing it takes no lock, so joining it never waits for long.

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"
#include "Velmora/rtp/RecThreadLock.h"
#include "Velmora/rtp/rtp.h"

namespace {

RtpRecvSupervisor no_supervision;
std::atomic<RtpRecvSupervisor*> supervisor{&no_supervision};

// Guarded by rec_thread_mutex.
bool thread_alive = false;     // a thread serves and has not committed to exit
bool thread_joinable = false;  // rec_thd holds a thread not yet joined

bool pollable(const S_User& u) {
  const RTP_RECV_Str* r = u.audioplayer.pRevRtp;
  return r != nullptr && r->sock >= 0 && u.status != CHAN_IDLE;
}

// The poll entry of `sock`, or null when it was not polled in this pass.
const pollfd* polled(const std::vector<pollfd>& fds, int sock) {
  for (const pollfd& p : fds) {
    if (p.fd == sock) return &p;
  }
  return nullptr;
}

// Reads one datagram of `u`'s socket and dispatches it.
void read_one(S_User& u, RtpRecvSupervisor& sup, char* buf) {
  RTP_RECV_Str* r = u.audioplayer.pRevRtp;
  sockaddr_storage from{};
  socklen_t fromlen = sizeof from;
  const ssize_t n = recvfrom(r->sock, buf, RTP_BUFFER_LEN, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &fromlen);
  if (n <= 0) {
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    GW_TRACE("<RTP-ERROR>winsocket error code: %d\n\n", errno);
    return;
  }
  u.audioplayer.countfail = 0;
  u.countmissdata = 0;
  r->stats.recv_packet += 1;
  r->stats.recv_byte += static_cast<uint32_t>(n);
  if (r->rtp_on_recv != nullptr && r->ext_args != nullptr) {
    // The callback may end the call and so free `r`: it is not touched again.
    r->rtp_on_recv(r, buf, static_cast<int>(n), r->ext_args, r->ext_args2);
  }
  sup.AfterPacket(u);
}

void* RTP_RecvHandle(void*) {
  std::vector<pollfd> fds;
  fds.reserve(MAX_CHANNELS);
  char buf[RTP_BUFFER_LEN];
  for (;;) {
    RtpRecvSupervisor& sup = *supervisor.load();
    fds.clear();
    {
      std::lock_guard<SkypeMutex> users_lock(m_usersmutex);
      for (auto& entry : users) {
        S_User& u = entry.second;
        if (!pollable(u)) continue;
        sup.BeforePoll(u);
        if (!pollable(u)) continue;  // the supervision ended the call
        fds.push_back(pollfd{u.audioplayer.pRevRtp->sock, POLLIN, 0});
      }
      if (fds.empty()) {
        RecThreadLock lock;
        gw_sipdata_thread.recrunState = RTP_RUNSTATE_STOP;
        thread_alive = false;
        break;
      }
    }

    const int ready = poll(fds.data(), fds.size(), RTP_RECV_POLL_MS);
    if (ready > 0) {
      std::lock_guard<SkypeMutex> users_lock(m_usersmutex);
      for (auto& entry : users) {
        S_User& u = entry.second;
        if (!pollable(u)) continue;
        const pollfd* p = polled(fds, u.audioplayer.pRevRtp->sock);
        if (p == nullptr) continue;
        if ((p->revents & POLLNVAL) != 0) {
          // The sender closed the socket under the receiver: stop polling it
          // rather than wake up on it again at once.
          GW_TRACE("<RTP-ERROR>socket %d closed under its receiver\n\n", p->fd);
          u.audioplayer.pRevRtp->sock = -1;
        } else if ((p->revents & (POLLIN | POLLERR)) != 0) {
          read_one(u, sup, buf);
        }
      }
    } else if (ready == 0 || errno != EINTR) {
      {
        std::lock_guard<SkypeMutex> users_lock(m_usersmutex);
        for (auto& entry : users) {
          S_User& u = entry.second;
          if (pollable(u) && polled(fds, u.audioplayer.pRevRtp->sock) != nullptr) {
            sup.AfterTimeout(u);
          }
        }
      }
      GW_TRACE("<RTP-Error>Receiver TimeOut times\n\n");
    }

    RecThreadLock lock;
    if (gw_sipdata_thread.recrunState != RTP_RUNSTATE_RUNNING) {
      thread_alive = false;
      break;
    }
  }
  GW_TRACE("exit RTP_RecvHandle\n\n");
  return nullptr;
}

}  // namespace

int RTP_Recv_Thread_Start(RTP_RECV_Str* receiver) {
  if (receiver == nullptr) return -1;
  RecThreadLock lock;
  if (thread_alive) {
    // Serving, or finishing after the last receiver went: it goes on.
    gw_sipdata_thread.recrunState = RTP_RUNSTATE_RUNNING;
    return 1;
  }
  if (thread_joinable) {
    // Committed to exit and holding no lock: it ends promptly.
    pthread_join(gw_sipdata_thread.rec_thd, nullptr);
    thread_joinable = false;
  }
  gw_sipdata_thread.recrunState = RTP_RUNSTATE_RUNNING;
  if (pthread_create(&gw_sipdata_thread.rec_thd, nullptr, RTP_RecvHandle, nullptr) != 0) {
    gw_sipdata_thread.recrunState = RTP_RUNSTATE_STOP;
    GW_TRACE("<RTP>cannot start the receive thread\n\n");
    return -1;
  }
  thread_alive = true;
  thread_joinable = true;
  return 1;
}

bool RTP_Recv_Thread_Alive() {
  RecThreadLock lock;
  return thread_alive;
}

bool RTP_Recv_Thread_Wait_Stopped(int timeout_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    {
      RecThreadLock lock;
      if (!thread_alive) {
        if (thread_joinable) {
          pthread_join(gw_sipdata_thread.rec_thd, nullptr);
          thread_joinable = false;
        }
        return true;
      }
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void RTP_Recv_Set_Supervisor(RtpRecvSupervisor* s) {
  supervisor.store(s != nullptr ? s : &no_supervision);
}
