#include "Protocol/sipua/Message.h"

#include "Protocol/sipua/Stack.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace sipua {

MsgPtr clone_msg(const osip_message_t* m) {
  if (!m) return nullptr;
  osip_message_t* c = nullptr;
  if (osip_message_clone(m, &c) != 0) return nullptr;
  return MsgPtr(c);
}

std::string random_hex(size_t len) {
  static std::atomic<unsigned> fallback{0x9e3779b9u};
  std::string out;
  out.reserve(len);
  unsigned char buf[32];
  while (out.size() < len) {
    ssize_t n = getrandom(buf, sizeof buf, GRND_NONBLOCK);
    if (n <= 0) {
      unsigned v = fallback.fetch_add(0x6d2b79f5u) * 2654435761u;
      for (size_t i = 0; i < sizeof buf; ++i) buf[i] = static_cast<unsigned char>(v >> ((i % 4) * 8)) ^ static_cast<unsigned char>(i * 37);
      n = sizeof buf;
    }
    static const char hex[] = "0123456789abcdef";
    for (ssize_t i = 0; i < n && out.size() < len; ++i) out.push_back(hex[buf[i] & 0x0f]);
  }
  return out;
}

std::string new_branch() { return "z9hG4bK" + random_hex(20); }

std::string to_text(osip_message_t* m) {
  if (!m) return {};
  char* buf = nullptr;
  size_t len = 0;
  if (osip_message_to_str(m, &buf, &len) != 0 || !buf) return {};
  std::string out(buf, len);
  osip_free(buf);
  return out;
}

std::string uri_text(const osip_uri_t* uri) {
  if (!uri) return {};
  char* buf = nullptr;
  if (osip_uri_to_str(uri, &buf) != 0 || !buf) return {};
  std::string out(buf);
  osip_free(buf);
  return out;
}

static std::string tag_of(osip_from_t* h) {
  if (!h) return {};
  osip_generic_param_t* tag = nullptr;
  if (osip_generic_param_get_byname(&h->gen_params, const_cast<char*>("tag"), &tag) != 0 || !tag || !tag->gvalue) return {};
  return tag->gvalue;
}

std::string from_tag(const osip_message_t* m) { return m ? tag_of(m->from) : std::string(); }
std::string to_tag(const osip_message_t* m) { return m ? tag_of(m->to) : std::string(); }

std::string call_id_text(const osip_message_t* m) {
  if (!m || !m->call_id) return {};
  char* buf = nullptr;
  if (osip_call_id_to_str(m->call_id, &buf) != 0 || !buf) return {};
  std::string out(buf);
  osip_free(buf);
  return out;
}

std::string top_branch(const osip_message_t* m) {
  if (!m) return {};
  auto* via = static_cast<osip_via_t*>(osip_list_get(&m->vias, 0));
  if (!via) return {};
  osip_generic_param_t* b = nullptr;
  if (osip_via_param_get_byname(via, const_cast<char*>("branch"), &b) != 0 || !b || !b->gvalue) return {};
  return b->gvalue;
}

long cseq_number(const osip_message_t* m) {
  if (!m || !m->cseq || !m->cseq->number) return -1;
  const char* p = m->cseq->number;
  if (!*p) return -1;
  long v = 0;
  for (; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    v = v * 10 + (*p - '0');
    if (v > 2147483647L) return -1;
  }
  return v;
}

std::string cseq_method(const osip_message_t* m) {
  if (!m || !m->cseq || !m->cseq->method) return {};
  return m->cseq->method;
}

std::string first_body(const osip_message_t* m) {
  if (!m) return {};
  osip_body_t* body = nullptr;
  if (osip_message_get_body(m, 0, &body) < 0 || !body || !body->body) return {};
  return std::string(body->body, body->length);
}

std::string unquote(const char* s) {
  if (!s) return {};
  std::string v(s);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return v;
}

bool method_is(const osip_message_t* m, const char* method) {
  return m && m->sip_method && osip_strcasecmp(m->sip_method, method) == 0;
}

void reset_content_length(osip_message_t* m) {
  if (m && m->content_length) {
    osip_content_length_free(m->content_length);
    m->content_length = nullptr;
    osip_message_force_update(m);
  }
}

std::string local_ip_toward(const Stack& s, const std::string& host) {
  if (s.local_ip != "0.0.0.0") return s.local_ip;
  in_addr dst{};
  if (inet_pton(AF_INET, host.c_str(), &dst) != 1) return "127.0.0.1";
  int probe = socket(AF_INET, SOCK_DGRAM, 0);
  if (probe < 0) return "127.0.0.1";
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(5060);
  sa.sin_addr = dst;
  std::string out = "127.0.0.1";
  if (connect(probe, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    sockaddr_in me{};
    socklen_t len = sizeof me;
    char text[INET_ADDRSTRLEN] = {0};
    if (getsockname(probe, reinterpret_cast<sockaddr*>(&me), &len) == 0 &&
        inet_ntop(AF_INET, &me.sin_addr, text, sizeof text))
      out = text;
  }
  close(probe);
  return out;
}

int set_top_via(const Stack& s, osip_message_t* m, const std::string& host) {
  char via[256];
  int n = snprintf(via, sizeof via, "SIP/2.0/UDP %s:%d;rport;branch=%s", local_ip_toward(s, host).c_str(),
                   s.local_port, new_branch().c_str());
  if (n < 0 || static_cast<size_t>(n) >= sizeof via) return OSIP_UNDEFINED_ERROR;
  return osip_message_set_via(m, via);
}

MsgPtr new_request(const Stack& s, const char* method, const osip_uri_t* req_uri) {
  if (!req_uri || !req_uri->host) return nullptr;
  osip_message_t* raw = nullptr;
  if (osip_message_init(&raw) != 0) return nullptr;
  MsgPtr m(raw);
  osip_message_set_method(m.get(), osip_strdup(method));
  osip_message_set_version(m.get(), osip_strdup("SIP/2.0"));
  osip_uri_t* uri = nullptr;
  if (osip_uri_clone(req_uri, &uri) != 0) return nullptr;
  osip_message_set_uri(m.get(), uri);
  if (set_top_via(s, m.get(), req_uri->host) != 0) return nullptr;
  osip_message_set_max_forwards(m.get(), "70");
  if (!s.user_agent.empty()) osip_message_set_user_agent(m.get(), s.user_agent.c_str());
  return m;
}

MsgPtr build_response(const Stack& s, const osip_message_t* req, int code, const std::string& tag) {
  if (!req || !req->from || !req->to || !req->call_id || !req->cseq) return nullptr;
  osip_message_t* raw = nullptr;
  if (osip_message_init(&raw) != 0) return nullptr;
  MsgPtr r(raw);
  osip_message_set_version(r.get(), osip_strdup("SIP/2.0"));
  osip_message_set_status_code(r.get(), code);
  const char* reason = osip_message_get_reason(code);
  osip_message_set_reason_phrase(r.get(), osip_strdup(reason ? reason : "Unknown"));
  for (int i = 0; i < osip_list_size(&req->vias); ++i) {
    auto* via = static_cast<osip_via_t*>(osip_list_get(&req->vias, i));
    osip_via_t* copy = nullptr;
    if (osip_via_clone(via, &copy) != 0) return nullptr;
    osip_list_add(&r->vias, copy, -1);
  }
  if (osip_from_clone(req->from, &r->from) != 0 || osip_to_clone(req->to, &r->to) != 0 ||
      osip_call_id_clone(req->call_id, &r->call_id) != 0 || osip_cseq_clone(req->cseq, &r->cseq) != 0)
    return nullptr;
  if (code > 100 && to_tag(req).empty() && !tag.empty()) osip_to_set_tag(r->to, osip_strdup(tag.c_str()));
  if (method_is(req, "INVITE") && code > 100 && code < 300) {
    for (int i = 0; i < osip_list_size(&req->record_routes); ++i) {
      auto* rr = static_cast<osip_record_route_t*>(osip_list_get(&req->record_routes, i));
      osip_record_route_t* copy = nullptr;
      if (osip_record_route_clone(rr, &copy) != 0) return nullptr;
      osip_list_add(&r->record_routes, copy, -1);
    }
  }
  if (!s.user_agent.empty()) osip_message_set_header(r.get(), "Server", s.user_agent.c_str());
  return r;
}

std::string own_contact(const Stack& s, const std::string& user, const std::string& toward_host) {
  char buf[320];
  std::string ip = local_ip_toward(s, toward_host);
  if (user.empty())
    snprintf(buf, sizeof buf, "<sip:%s:%d>", ip.c_str(), s.local_port);
  else
    snprintf(buf, sizeof buf, "<sip:%.200s@%s:%d>", user.c_str(), ip.c_str(), s.local_port);
  return buf;
}

void request_destination(const osip_message_t* m, std::string& host, int& port) {
  host.clear();
  port = 5060;
  const osip_uri_t* target = m ? m->req_uri : nullptr;
  osip_route_t* route = nullptr;
  if (m && osip_message_get_route(m, 0, &route) >= 0 && route && route->url) {
    osip_uri_param_t* lr = nullptr;
    osip_uri_uparam_get_byname(route->url, const_cast<char*>("lr"), &lr);
    if (lr) target = route->url;
  }
  if (!target || !target->host) return;
  host = target->host;
  if (target->port) {
    int p = atoi(target->port);
    if (p > 0 && p < 65536) port = p;
  }
}

}  // namespace sipua
