// The SIP handler: stack and transport set-up, the event thread and the
// dispatch through the handler table.

#include "Protocol/SipHandler.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Protocol/SipEventNames.h"
#include "Protocol/SipStack.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

// A SIP side that cannot receive is reported whether tracing is on or not:
// the gateway keeps running (its Skype side and its files stay useful), but
// an operator has to see that no SIP will arrive.
void report_deaf(const char* why) {
  fprintf(stderr, "Velmora: SIP socket on %s:%d not set up (%s): no SIP traffic will be received\n",
          gwconfig.localip.c_str(), gwconfig.localport, why);
  fflush(stderr);
  GW_TRACE("SIP socket on %s:%d not set up (%s): no SIP traffic will be received\n\n",
           gwconfig.localip.c_str(), gwconfig.localport, why);
}

}  // namespace

SipHandler::SipHandler() { SipInit(); }

SipHandler::~SipHandler() {
  // Stop the event thread before the table it reads goes away.
  Stop();
  if (m_socket >= 0) close(m_socket);
}

int SipHandler::SipInit() {
  int init = eXosip_init();
  eXosip_set_user_agent("Velmora");
  if (init != 0) {
    GW_TRACE("Couldn't initialize eXosip!\n\n");
    exit(-1);
  }

  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    GW_TRACE("<RTP>create socket error.\n\n");
    report_deaf(strerror(errno));
    return 0;
  }
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    GW_TRACE("setsockopt failed!\n\n");
    report_deaf(strerror(errno));
    close(fd);
    return 0;
  }
  int size = -1;  // the kernel then uses its largest buffer
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) GW_TRACE("setsockopt error\n\n");

  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(gwconfig.localport));
  // inet_addr would turn a malformed address into 255.255.255.255; such a
  // setting is refused as what it is.
  if (gwconfig.localport < 0 || gwconfig.localport > 65535 ||
      inet_pton(AF_INET, gwconfig.localip.c_str(), &addr.sin_addr) != 1) {
    GW_TRACE("<RTP>socket bind error.\n\n");
    report_deaf("localip or localport is not an IPv4 address and port");
    close(fd);
    return 0;
  }
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    GW_TRACE("<RTP>socket bind error.\n\n");
    report_deaf(strerror(err));
    close(fd);
    return 0;
  }
  m_socket = fd;
  m_transport_up = true;
  // With port 0 the kernel chose the port; the stack is told the real one.
  int port = gwconfig.localport;
  socklen_t len = sizeof addr;
  if (port == 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) port = ntohs(addr.sin_port);
  if (eXosip_set_socket(IPPROTO_UDP, fd, port) != 0) GW_TRACE("eXosip_set_socket error !\n\n");
  return 1;
}

void SipHandler::Register(int type, SipProtoHandler handler, void* context) {
  m_handlers.Register(type, handler, context);
}

void SipHandler::Run() {
  while (isRunning()) {
    eXosip_event_t* event = eXosip_event_wait(0, 200);
    {
      SipStackLock stack;
      eXosip_default_action(event);
      eXosip_automatic_refresh();
    }
    if (event == nullptr) continue;

    Do_action(event);
    SipProtoCallback callback;
    if (m_handlers.Find(static_cast<int>(event->type), callback) && callback.handler != nullptr) {
      callback.handler(callback.context, event);
    } else {
      GW_TRACE("don't have callback functions, event type %d\n\n", static_cast<int>(event->type));
    }
    PrintEventType(event);
    eXosip_event_free(event);
  }
}

int SipHandler::Do_action(eXosip_event_t* event) {
  if (event == nullptr || event->response == nullptr) return -1;
  switch (event->response->status_code) {
    case 101:
      GW_TRACE("Received '101'message\n\n");
      break;
    case 487:
      GW_TRACE("Received '487',Request Terminated!\n\n");
      break;
    case 603:
      GW_TRACE("Received '603',Request Terminated!\n\n");
      break;
    default:
      break;
  }
  return 0;
}

void SipHandler::PrintEventType(eXosip_event_t* event) {
  if (event == nullptr) return;
  int type = static_cast<int>(event->type);
  const char* name = sip_event_name(type);
  if (name != nullptr) {
    GW_TRACE("%s (tid %d did %d rid %d cid %d sid %d nid %d)\n\n", name, event->tid, event->did, event->rid,
             event->cid, event->sid, event->nid);
  } else {
    GW_TRACE("EXOSIP event->type %d\n\n", type);
  }
}
