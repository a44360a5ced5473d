#include "SkypeApi/CAccount.h"

#include <cstdlib>
#include <string>

#include "SkypeApi/CSkype.h"
#include "SkypeApi/GatewayEvents.h"
#include "Tools/ReadXml.h"
#include "Velmora/registry/Clock.h"
#include "Velmora/registry/Registry.h"
#include "Velmora/registry/Trace.h"

namespace {

// The account record whose name matches the Skype name, compared over the
// record name's length without regard to case.
S_Skype* find_record(const SEString& skypename) {
  for (auto& [id, sk] : skypes) {
    if (cmpstr(sk.name.c_str(), skypename.data(), static_cast<int>(sk.name.size()))) return &sk;
  }
  return nullptr;
}

}  // namespace

CAccount::CAccount(unsigned oid, SERootObject* root) : Account(oid, root) {}

CAccount::~CAccount() {}

unsigned CAccount::getStatus() { return GetUintProp(P_STATUS); }

void CAccount::OnChange(int prop) {
  SEString skypename = GetStrProp(P_SKYPENAME);
  S_Skype* record = find_record(skypename);
  SEString value = GetProp(prop);
  if (argdebug) {
    SEStringList debug = getPropDebug(prop, value);
    GW_TRACE("ACCOUNT.%s:%s = %s prop=%d P_STATUS=%d\n\n", skypename.data(), debug.size() > 1 ? debug[1].data() : "",
             value.data(), prop, static_cast<int>(P_STATUS));
  }

  switch (prop) {
  case P_STATUS: {
    unsigned status = getStatus();
    GW_TRACE("ACCOUNT GetUintProp=%u %d %d\n\n", status, static_cast<int>(LOGGED_IN), static_cast<int>(LOGGED_OUT));
    if (status == LOGGED_IN) {
      GW_TRACE("LOGGED in %s \n\n", skypename.data());
      if (record && !flagchange) {
        flagchange = true;
        record->status = true;
        record->loginedtime = gw_time();
        GW_TRACE("%s loggedtime= %ld \n\n", record->name.c_str(), static_cast<long>(record->loginedtime));
        if (rdxml) rdxml->SaveSkype(record, 3);
      }
    } else if (status == LOGGED_OUT && record) {
      GW_TRACE("LOGGED out %s \n\n", skypename.data());
      if (!flagchange) {
        flagchange = true;
        record->status = false;
        if (rdxml) rdxml->SaveSkype(record, 3);
      }
      CSkype* session = static_cast<CSkype*>(getRoot());
      if (session && session->gateway()) session->gateway()->skypeAccountLogin();
    }
    break;
  }
  case P_SKYPEOUT_BALANCE:
    if (record) {
      record->balance = static_cast<uint32_t>(strtoul(value.data(), nullptr, 10));
      GW_TRACE("%s balance %u \n\n", record->name.c_str(), record->balance);
      if (rdxml) rdxml->SaveSkype(record, 2);
    }
    break;
  case P_SKYPEOUT_BALANCE_CURRENCY:
    if (record) {
      gwconfig.skypecredittype = value.data();
      GW_TRACE("skypecredittype %s \n\n", gwconfig.skypecredittype.c_str());
    }
    break;
  default:
    break;
  }
}
