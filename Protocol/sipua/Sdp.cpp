// The peer's SDP of a transaction: the INVITE's body on our side of an
// incoming call, the answer's body on a call we placed.

#include "Protocol/sipua/Stack.h"

using namespace sipua;

static bool is_sdp(const osip_message_t* m) {
  if (!m) return false;
  if (!m->content_type) return true;  // no type: try it
  return m->content_type->type && m->content_type->subtype && osip_strcasecmp(m->content_type->type, "application") == 0 &&
         osip_strcasecmp(m->content_type->subtype, "sdp") == 0;
}

static sdp_message_t* parse_sdp(const osip_message_t* m) {
  if (!is_sdp(m)) return nullptr;
  std::string body = first_body(m);
  if (body.empty()) return nullptr;
  sdp_message_t* sdp = nullptr;
  if (sdp_message_init(&sdp) != 0) return nullptr;
  if (sdp_message_parse(sdp, body.c_str()) != 0) {
    sdp_message_free(sdp);
    return nullptr;
  }
  return sdp;
}

sdp_message_t* eXosip_get_remote_sdp_from_tid(int tid) {
  Stack* s = stack();
  if (!s) return nullptr;
  Lock l(s->mu);
  Transaction* t = s->txn(tid);
  if (!t) return nullptr;
  if (t->kind == TxnKind::Ist || t->kind == TxnKind::Nist) return parse_sdp(t->request.get());
  return parse_sdp(t->last_response.get());
}

sdp_media_t* eXosip_get_audio_media(sdp_message_t* sdp) {
  if (!sdp) return nullptr;
  for (int i = 0; i < osip_list_size(&sdp->m_medias); ++i) {
    auto* m = static_cast<sdp_media_t*>(osip_list_get(&sdp->m_medias, i));
    if (m && m->m_media && osip_strcasecmp(m->m_media, "audio") == 0) return m;
  }
  return nullptr;
}
