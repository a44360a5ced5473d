#include "Simulator/VoiceCallback.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "VoiceHost/multirtp/BoundedReaders.h"
#include "VoiceHost/multirtp/MultiRTPMessages.h"
#include "VoiceHost/sid/protocol/BinServer.h"
#include "VoiceHost/transport/UnixSocket.h"

namespace velsim {


VoiceCallback::~VoiceCallback() { stop(); }

bool VoiceCallback::start(const std::string& account, std::string& error) {
  m_key = "/" + account + "/multirtp_to_skypekit_key";
  sockaddr_un addr;
  if (!Sid::MakeSocketAddress(m_key.c_str(), addr)) {
    error = "callback socket name too long: " + m_key;
    return false;
  }
  if (!m_listener.open(addr, 4, m_key, error)) return false;
  m_thread = std::thread([this] { run(); });
  return true;
}

void VoiceCallback::stop() {
  m_stop = true;
  m_listener.wake();
  if (m_thread.joinable()) m_thread.join();
  m_listener.close();
}

void VoiceCallback::serve(StreamTransport& t) {
  using namespace Sid::Protocol;
  BinServer server(nullptr, &t, Sid::Field::M_SkypeMultiRTPCallbackInterface_fields);
  Sid::MultiRTP::LimitValueSizes(server);
  Sid::MultiRTP::MsgSendRTPPacketRequest rq;
  auto skip = [&](const char* what) {
    ++m_bad;
    server.resync_decode(nullptr);
    size_t skipped = 0;
    bool more = t.skip_to(MSG_START, skipped);
    m_log.printf("VOICE", "callback: %s, %zu bytes skipped to the next message", what, skipped);
    return more;
  };
  for (;;) {
    unsigned char first = 0;
    if (!t.peek(first)) return;
    if (first != MSG_START) {
      if (!skip("bytes that do not start a message")) return;
      continue;
    }
    Command cmd = CMD_RESERVED;
    if (server.rd_command(nullptr, cmd) != OK) return;
    if (cmd != CMD_XCALL) {
      if (!skip("not a call")) return;
      continue;
    }
    unsigned module = 0, method = 0, rid = 0;
    if (server.rd_call(nullptr, module, method, rid) != OK) {
      if (t.ended() || !skip("undecodable call header")) return;
      continue;
    }
    if (method != Sid::MultiRTP::METHOD_SendRTPPacket) {
      m_log.printf("VOICE", "callback: unexpected call module %u method %u rid %u", module, method, rid);
      if (server.sk_parms(nullptr) != OK && (t.ended() || !skip("undecodable parameters"))) return;
      continue;
    }
    if (server.rd_parms(nullptr, &rq, Sid::MultiRTP::D_SendRTPPacketRequest) != OK) {
      if (t.ended() || !skip("undecodable SendRTPPacket")) return;
      continue;
    }
    ++m_calls;
    m_stats.received(rq.channel_id, reinterpret_cast<const uint8_t*>(rq.data.data()), rq.data.size());
  }
}

void VoiceCallback::end_connection() {
  if (m_conn) m_conn->terminate();
  if (m_conn_thread.joinable()) m_conn_thread.join();
  m_conn.reset();
}

void VoiceCallback::run() {
  while (!m_stop) {
    pollfd p[2] = {{m_listener.listen_fd(), POLLIN, 0}, {m_listener.wake_fd(), POLLIN, 0}};
    int r = poll(p, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[1].revents) break;
    if (!(p[0].revents & POLLIN)) continue;
    int fd = m_listener.accept();
    if (fd < 0) continue;
    if (m_conn) {
      m_log.write("VOICE", "callback: a new connection replaces the old one");
      end_connection();
    }
    m_conn = std::make_unique<FdTransport>(fd);
    m_log.printf("VOICE", "callback: voice host connected at %s", m_key.c_str());
    m_conn_thread = std::thread([this, t = m_conn.get()] {
      serve(*t);
      m_log.printf("VOICE", "callback: voice host disconnected after %llu calls",
                   static_cast<unsigned long long>(m_calls));
    });
  }
  end_connection();
}

}  // namespace velsim
