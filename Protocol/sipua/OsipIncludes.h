#ifndef VELMORA_SIPUA_OSIPINCLUDES_H
#define VELMORA_SIPUA_OSIPINCLUDES_H

// libosip2's headers use time_t and struct timeval without including the
// headers that declare them; every file of ours reaches libosip2 through here.
#include <sys/time.h>
#include <ctime>
#include <cstdlib>
#include <cstring>

#include <osip2/osip.h>
#include <osip2/osip_dialog.h>
#include <osipparser2/osip_md5.h>
#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/osip_port.h>
#include <osipparser2/sdp_message.h>

#endif
