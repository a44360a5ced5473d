#include "tests/unit/clientruntime/TestPeer.h"

#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testpeer {
namespace {

std::string bio_text(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(n));
}

std::string make_pem() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), 0);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("velmora-test"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509_sign(cert, key, EVP_sha256());
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::string pem = bio_text(bio);
  BIO_free(bio);
  X509_free(cert);
  EVP_PKEY_free(key);
  return pem;
}

} // namespace

const std::string& self_signed_pem() {
  static const std::string pem = make_pem();
  return pem;
}

Peer::Peer(bool tls) : m_tls(tls) {
  m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sa.sin_port = 0;
  ::bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::listen(m_listen, 4);
  socklen_t len = sizeof sa;
  ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &len);
  m_port = ntohs(sa.sin_port);
}

Peer::~Peer() {
  close();
  if (m_listen != -1) ::close(m_listen);
}

void Peer::close() {
  if (m_ssl) {
    SSL_free(m_ssl);
    m_ssl = nullptr;
  }
  if (m_ctx) {
    SSL_CTX_free(m_ctx);
    m_ctx = nullptr;
  }
  if (m_fd != -1) {
    ::close(m_fd);
    m_fd = -1;
  }
}

bool Peer::wait_readable(int timeout_ms) {
  if (m_ssl && SSL_pending(m_ssl) > 0) return true;
  pollfd p{m_fd, POLLIN, 0};
  return ::poll(&p, 1, timeout_ms) > 0;
}

bool Peer::accept() {
  pollfd p{m_listen, POLLIN, 0};
  if (::poll(&p, 1, 5000) <= 0) return false;
  m_fd = ::accept(m_listen, nullptr, nullptr);
  if (m_fd < 0) return false;
  if (!m_tls) return true;
  m_ctx = SSL_CTX_new(TLS_client_method());
  SSL_CTX_set_verify(m_ctx, SSL_VERIFY_NONE, nullptr);
  m_ssl = SSL_new(m_ctx);
  SSL_set_fd(m_ssl, m_fd);
  return SSL_connect(m_ssl) == 1;
}

bool Peer::write(const std::string& bytes) {
  if (bytes.empty()) return true;
  if (m_ssl) return SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t r = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

std::string Peer::read(size_t n, int timeout_ms) {
  std::string out;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[4096];
  while (out.size() < n) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now()).count());
    if (left <= 0 || !wait_readable(left)) break;
    int want = static_cast<int>(std::min(n - out.size(), sizeof buf));
    int r = m_ssl ? SSL_read(m_ssl, buf, want) : static_cast<int>(::recv(m_fd, buf, static_cast<size_t>(want), 0));
    if (r <= 0) {
      if (m_ssl && SSL_get_error(m_ssl, r) == SSL_ERROR_WANT_READ) continue;
      break;
    }
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

std::string Peer::read_available(int timeout_ms) {
  std::string out;
  while (wait_readable(out.empty() ? timeout_ms : 20)) {
    std::string more = read(1, 0);
    if (more.empty()) break;
    out += more;
  }
  return out;
}

int closed_port() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  socklen_t len = sizeof sa;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(s);
  return ntohs(sa.sin_port);
}

} // namespace testpeer
