#ifndef VELMORA_TOOLS_ACCOUNTFORMAT_H
#define VELMORA_TOOLS_ACCOUNTFORMAT_H

// The section layouts of sip.conf and skypes.conf, shared by the readers and
// the state writers that rewrite these files.

#include <string>

#include "Velmora/registry/Registry.h"

// Applies one key of a sip.conf section to the working record. "status" sets
// *registered for "registed", clears it for "unregisted" (when given).
void apply_sip_key(S_User& user, const std::string& key, const std::string& value,
                   bool* registered = nullptr);

// One sip.conf section (cut at 511 bytes).
std::string format_sip_section(const S_User& user, bool registered);

// Applies one key of a skypes.conf section; "status" sets *online.
void apply_skype_key(S_Skype& sk, const std::string& key, const std::string& value,
                     bool* online = nullptr);

// One skypes.conf block (cut at 511 bytes).
std::string format_skype_block(const S_Skype& sk, bool online);

// Writes `text` whole to a new descriptor of `path` opened with GW_REWRITE
// (up to 6 attempts, `delay_ms` apart); 0 or -1.
int rewrite_file(const std::string& path, const std::string& text, const char* who, int delay_ms);

#endif
