#ifndef PROTOCOL_OSIPSDP_H
#define PROTOCOL_OSIPSDP_H

// libosip2's SDP parser and builder. Its headers use time_t and struct
// timeval without including their own headers.
#include <sys/time.h>

#include <ctime>

#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#endif
