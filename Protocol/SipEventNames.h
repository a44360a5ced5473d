#ifndef PROTOCOL_SIPEVENTNAMES_H
#define PROTOCOL_SIPEVENTNAMES_H

// The name of a SIP stack event type ("EXOSIP_CALL_RINGING" for 9); null
// for a number that names no type.
const char* sip_event_name(int type);

#endif
