#include "Protocol/SipAuthHeader.h"

#include "Protocol/sipua/OsipIncludes.h"

std::string sip_first_authorization(osip_message_t* message) {
  if (message == nullptr) return {};
  osip_authorization_t* header = nullptr;
  if (osip_message_get_authorization(message, 0, &header) < 0 || header == nullptr) return {};
  char* text = nullptr;
  if (osip_authorization_to_str(header, &text) != 0 || text == nullptr) return {};
  std::string out = text;
  osip_free(text);
  return out;
}

bool sip_set_authorization(osip_message_t* message, const std::string& text) {
  if (message == nullptr || text.empty()) return true;
  while (!osip_list_eol(&message->authorizations, 0)) {
    auto* old = static_cast<osip_authorization_t*>(osip_list_get(&message->authorizations, 0));
    osip_list_remove(&message->authorizations, 0);
    osip_authorization_free(old);
  }
  return osip_message_set_authorization(message, text.c_str()) == 0;
}
