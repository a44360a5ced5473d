#include "ClientRuntime/ipc/TLSEncryption.h"

#include <csignal>
#include <ctime>

#include <pthread.h>
#include <memory>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/pem.h>

namespace Sid {
namespace {

void sleep_ms(long ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

// OpenSSL writes to the socket with write(2): a peer that is gone would raise
// SIGPIPE and end the process. The signal is held back on this thread for the
// length of one TLS call and a SIGPIPE it raised is consumed.
class SigpipeGuard {
public:
  SigpipeGuard() {
    sigemptyset(&m_set);
    sigaddset(&m_set, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
  }
  ~SigpipeGuard() {
    if (!m_was_pending) {
      sigset_t pending;
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        timespec zero{0, 0};
        sigtimedwait(&m_set, nullptr, &zero);
      }
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
  sigset_t m_set;
  sigset_t m_old;
  bool m_was_pending = false;
};

struct BioFree {
  void operator()(BIO* b) const { BIO_free(b); }
};

} // namespace

TLSEncryption::TLSEncryption() {
  SSL_load_error_strings();
  SSL_library_init();
}

TLSEncryption::~TLSEncryption() {
  if (m_ssl) SSL_free(m_ssl);
  if (m_ctx) SSL_CTX_free(m_ctx);
}

bool TLSEncryption::load_certificate(const char* pem) {
  if (!pem || !m_ctx) return false;
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem, -1));
  if (!bio) return false;
  bool ok = false;
  if (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    ok = SSL_CTX_use_certificate(m_ctx, cert) == 1;
    X509_free(cert);
  }
  BIO_ctrl(bio.get(), BIO_CTRL_RESET, 0, nullptr);
  if (ok) {
    ok = false;
    if (EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)) {
      ok = SSL_CTX_use_PrivateKey(m_ctx, key) == 1;
      EVP_PKEY_free(key);
    }
  }
  ERR_clear_error();
  return ok;
}

int TLSEncryption::write(unsigned n, const char* buf) {
  if (!m_ssl) return -1;
  std::lock_guard<std::mutex> lock(m_mutex);
  SigpipeGuard guard;
  unsigned done = 0;
  while (done < n) {
    int r = SSL_write(m_ssl, buf + done, static_cast<int>(n - done));
    if (r > 0) {
      done += static_cast<unsigned>(r);
      continue;
    }
    int err = SSL_get_error(m_ssl, r);
    if (r == -1 && (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE)) {
      sleep_ms(1);
      continue;
    }
    ERR_clear_error();
    return -1;
  }
  return static_cast<int>(n);
}

int TLSEncryption::read(unsigned n, char* buf) {
  if (!m_ssl) return -1;
  std::lock_guard<std::mutex> lock(m_mutex);
  SigpipeGuard guard;
  for (;;) {
    int r = SSL_read(m_ssl, buf, static_cast<int>(n));
    if (r != -1) {
      if (r > 0) return r;
      ERR_clear_error();
      return -1;
    }
    int err = SSL_get_error(m_ssl, r);
    if (err == SSL_ERROR_WANT_READ) {
      if (SSL_pending(m_ssl) == 0 && n == 1) return 0;
      sleep_ms(1);
      continue;
    }
    if (err == SSL_ERROR_WANT_WRITE) {
      sleep_ms(1);
      continue;
    }
    ERR_clear_error();
    return -1;
  }
}

bool TLSEncryptionSocketServer::init(const char* pem, int fd, ConnectionStateListener* listener) {
  // Version-flexible server method: the runtime negotiates the best version
  // both sides support (the fixed TLS 1.0 method is gone from current OpenSSL).
  m_ctx = SSL_CTX_new(TLS_server_method());
  if (!m_ctx || !load_certificate(pem)) {
    if (listener) listener->OnError(ConnectionStateListener::SSL_CERTIFICATE_LOAD_ERR);
    return false;
  }
  m_ssl = SSL_new(m_ctx);
  if (!m_ssl) return false;
  SSL_set_fd(m_ssl, fd);
  SSL_set_accept_state(m_ssl);
  return true;
}

} // namespace Sid
