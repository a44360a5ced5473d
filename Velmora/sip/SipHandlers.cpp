// The gateway's SIP event table.

#include "Protocol/SipHandler.h"
#include "Velmora/Velmora.h"

namespace {

// Event types of the stack, as numbered in its event table.
enum {
  EVT_REGISTRATION_SUCCESS = 1,
  EVT_REGISTRATION_FAILURE = 2,
};

}  // namespace

void Velmora::InsertProtocolHandler(int type, void (*handler)(void*, eXosip_event_t*)) {
  m_siphandler->Register(type, handler, this);
}

void Velmora::RegisterSipHandlers() {
  // The call handlers (INVITE, ringing, answer, BYE, ...) join this table
  // with call control.
  InsertProtocolHandler(EVT_REGISTRATION_FAILURE, &Velmora::RegFailed);
  InsertProtocolHandler(EVT_REGISTRATION_SUCCESS, &Velmora::ProcRegSucess);
}
