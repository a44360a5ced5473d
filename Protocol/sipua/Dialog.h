#ifndef VELMORA_SIPUA_DIALOG_H
#define VELMORA_SIPUA_DIALOG_H

// Dialogs (RFC 3261 12) over libosip2's osip_dialog_t: creation on both
// sides, matching of requests and responses, requests inside a dialog, ACK to
// a 2xx, and the re-sending of our 2xx until its ACK arrives.

#include "Protocol/sipua/Stack.h"

namespace sipua {

// T1 and T2 of RFC 3261 (ms), for the 2xx re-sending.
constexpr int kT1 = 500;
constexpr int kT2 = 4000;

// Incoming INVITE: the dialog with our tag (answers confirm it later).
Dialog* create_uas_dialog(Stack& s, Call& c, const osip_message_t* invite);
// Placed call: the dialog a 1xx with a To tag or a 2xx creates (or updates).
Dialog* uac_dialog(Stack& s, Call& c, const osip_message_t* response);
Dialog* find_dialog_for_request(Stack& s, const osip_message_t* req);
Dialog* find_dialog_for_response(Stack& s, const osip_message_t* resp);
// A re-INVITE's Contact becomes the dialog's remote target.
void update_remote_target(Dialog& d, const osip_message_t* req);

// A request in the dialog, with the next local CSeq.
MsgPtr build_in_dialog_request(Stack& s, Dialog& d, const char* method);
MsgPtr build_ack(Stack& s, Dialog& d);
int send_ack(Stack& s, Dialog& d, MsgPtr ack);
// BYE on a dialog; the dialog is terminated from then on.
int send_bye(Stack& s, Dialog& d);

void start_ok_retransmission(Stack& s, Dialog& d, osip_message_t* ok);
// An ACK outside any transaction (the ACK to a 2xx).
void on_ack(Stack& s, const osip_message_t* ack);
// A 2xx to an INVITE of ours that came again: the ACK goes again. False when
// the response matches no dialog.
bool resend_ack_for(Stack& s, const osip_message_t* resp);
// Re-sends due 2xx; gives up (with a BYE) after 64*T1 without an ACK.
void dialog_timers(Stack& s);

}  // namespace sipua

#endif
