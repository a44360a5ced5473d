// Digest authentication: answers to 401 and 407 challenges.

#include "Protocol/sipua/DigestAuth.h"

#include "Velmora/registry/Trace.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace sipua {

static std::string md5_hex(const std::string& text) {
  osip_MD5_CTX ctx;
  osip_MD5Init(&ctx);
  osip_MD5Update(&ctx, reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
                 static_cast<unsigned int>(text.size()));
  unsigned char digest[16];
  osip_MD5Final(digest, &ctx);
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : digest) {
    out.push_back(hex[b >> 4]);
    out.push_back(hex[b & 0x0f]);
  }
  return out;
}

static bool iequals(const std::string& a, const char* b) {
  if (a.size() != strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string digest_response(const std::string& algorithm, const std::string& username, const std::string& realm,
                            const std::string& password, const std::string& method, const std::string& uri,
                            const std::string& nonce, const std::string& nc, const std::string& cnonce,
                            const std::string& qop) {
  std::string ha1 = md5_hex(username + ":" + realm + ":" + password);
  if (iequals(algorithm, "MD5-sess")) ha1 = md5_hex(ha1 + ":" + nonce + ":" + cnonce);
  std::string ha2 = md5_hex(method + ":" + uri);
  if (qop.empty()) return md5_hex(ha1 + ":" + nonce + ":" + ha2);
  return md5_hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

// True when the comma-separated qop list offers "auth".
static bool offers_auth(const std::string& list) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    size_t a = item.find_first_not_of(" \t"), b = item.find_last_not_of(" \t");
    if (a != std::string::npos && iequals(item.substr(a, b - a + 1), "auth")) return true;
    start = end + 1;
  }
  return false;
}

static osip_www_authenticate_t* challenge_header(const osip_message_t* resp, bool& proxy) {
  osip_www_authenticate_t* h = nullptr;
  proxy = resp->status_code == 407;
  if (proxy)
    osip_message_get_proxy_authenticate(resp, 0, &h);
  else
    osip_message_get_www_authenticate(resp, 0, &h);
  return h;
}

static const Credential* find_credential(const Stack& s, const std::string& realm, const std::string& user) {
  const Credential* any = nullptr;
  for (const Credential& c : s.creds) {
    if (!c.realm.empty() && c.realm != realm) continue;
    if (c.userid == user || c.username == user) return &c;
    if (!any) any = &c;
  }
  return any;
}

int authorize(Stack& s, osip_message_t* req, const osip_message_t* challenge, unsigned& nc) {
  if (!req || !challenge || !req->req_uri) return OSIP_BADPARAMETER;
  bool proxy = false;
  osip_www_authenticate_t* h = challenge_header(challenge, proxy);
  if (!h || !h->auth_type || osip_strcasecmp(h->auth_type, "Digest") != 0) return OSIP_SYNTAXERROR;
  std::string realm = unquote(h->realm), nonce = unquote(h->nonce), opaque = unquote(h->opaque);
  std::string algorithm = unquote(h->algorithm), qops = unquote(h->qop_options);
  if (nonce.empty()) return OSIP_SYNTAXERROR;
  if (!algorithm.empty() && !iequals(algorithm, "MD5") && !iequals(algorithm, "MD5-sess")) {
    GW_TRACE("digest algorithm %s not supported\n", algorithm.c_str());
    return OSIP_UNDEFINED_ERROR;
  }
  std::string qop;
  if (!qops.empty()) {
    if (!offers_auth(qops)) {
      GW_TRACE("digest qop \"%s\" not supported\n", qops.c_str());
      return OSIP_UNDEFINED_ERROR;
    }
    qop = "auth";
  }
  std::string user = req->from && req->from->url && req->from->url->username ? req->from->url->username : "";
  const Credential* cred = find_credential(s, realm, user);
  if (!cred) {
    GW_TRACE("no credentials for %s in realm %s\n", user.c_str(), realm.c_str());
    return OSIP_NOTFOUND;
  }
  std::string name = cred->username.empty() ? cred->userid : cred->username;
  std::string uri = uri_text(req->req_uri);
  std::string cnonce = random_hex(16);
  char ncbuf[16];
  snprintf(ncbuf, sizeof ncbuf, "%08x", ++nc);
  std::string response = digest_response(algorithm, name, realm, cred->password, req->sip_method, uri, nonce,
                                         ncbuf, cnonce, qop);
  std::string v = "Digest username=\"" + name + "\", realm=\"" + realm + "\", nonce=\"" + nonce + "\", uri=\"" +
                  uri + "\", response=\"" + response + "\"";
  v += ", algorithm=" + (algorithm.empty() ? std::string("MD5") : algorithm);
  if (!opaque.empty()) v += ", opaque=\"" + opaque + "\"";
  if (!qop.empty()) v += ", qop=auth, nc=" + std::string(ncbuf) + ", cnonce=\"" + cnonce + "\"";
  int rc = proxy ? osip_message_set_proxy_authorization(req, v.c_str()) : osip_message_set_authorization(req, v.c_str());
  return rc == 0 ? OSIP_SUCCESS : OSIP_SYNTAXERROR;
}

bool challenge_unanswered(const osip_message_t* req, const osip_message_t* challenge) {
  bool proxy = false;
  osip_www_authenticate_t* h = challenge_header(challenge, proxy);
  if (!h) return false;
  std::string nonce = unquote(h->nonce);
  std::string stale = unquote(h->stale);
  if (iequals(stale, "true")) return true;
  const osip_list_t* list = proxy ? &req->proxy_authorizations : &req->authorizations;
  for (int i = 0; i < osip_list_size(list); ++i) {
    auto* a = static_cast<osip_authorization_t*>(osip_list_get(list, i));
    if (a && unquote(a->nonce) == nonce) return false;
  }
  return true;
}

void remove_credentials(osip_message_t* m) {
  for (osip_list_t* list : {&m->authorizations, &m->proxy_authorizations}) {
    while (osip_list_size(list) > 0) {
      auto* a = static_cast<osip_authorization_t*>(osip_list_get(list, 0));
      osip_list_remove(list, 0);
      osip_authorization_free(a);
    }
  }
  osip_message_force_update(m);
}

}  // namespace sipua

using namespace sipua;

int eXosip_add_authentication_info(const char* username, const char* userid, const char* passwd, const char* ha1,
                                   const char* realm) {
  if (!passwd || ((!username || !*username) && (!userid || !*userid))) return OSIP_BADPARAMETER;
  if (ha1 && *ha1 && osip_strcasecmp(ha1, "md5") != 0) return OSIP_BADPARAMETER;
  Stack* s = stack();
  if (!s) return OSIP_WRONG_STATE;
  Lock l(s->mu);
  Credential c{username ? username : "", userid ? userid : "", passwd, realm ? realm : ""};
  for (Credential& old : s->creds) {
    if (old.userid == c.userid && old.realm == c.realm) {
      old = c;
      return OSIP_SUCCESS;
    }
  }
  if (s->creds.size() >= kMaxCredentials) return OSIP_NOMEM;
  s->creds.push_back(c);
  return OSIP_SUCCESS;
}

void eXosip_clear_authentication_info(void) {
  Stack* s = stack();
  if (!s) return;
  Lock l(s->mu);
  s->creds.clear();
}
