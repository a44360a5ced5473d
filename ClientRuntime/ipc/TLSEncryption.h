#ifndef CLIENTRUNTIME_IPC_TLSENCRYPTION_H
#define CLIENTRUNTIME_IPC_TLSENCRYPTION_H

#include <mutex>

#include "ClientRuntime/ipc/ConnectionStateListener.h"

// OpenSSL's own headers stay out of this one: they define macros (sk_value
// and others) that would rename members of the protocol classes.
struct ssl_st;
struct ssl_ctx_st;

namespace Sid {

// One TLS session over a non-blocking socket. Reads and writes are exclusive
// (one lock); both retry in 1 ms steps while OpenSSL wants more I/O.
class TLSEncryption {
public:
  TLSEncryption();
  virtual ~TLSEncryption();
  TLSEncryption(const TLSEncryption&) = delete;
  TLSEncryption& operator=(const TLSEncryption&) = delete;

  // Up to n bytes into buf: the count read, 0 when a one-byte read finds
  // nothing waiting, -1 on failure or end of stream.
  virtual int read(unsigned n, char* buf);
  // All n bytes, or -1.
  virtual int write(unsigned n, const char* buf);
  // Certificate and private key, both from the one PEM text.
  virtual bool load_certificate(const char* pem);

protected:
  ssl_ctx_st* m_ctx = nullptr;
  ssl_st* m_ssl = nullptr;
  std::mutex m_mutex;
};

// The TLS server role: the gateway accepts the runtime's TLS handshake with
// the application token's certificate and key.
class TLSEncryptionSocketServer : public TLSEncryption {
public:
  bool init(const char* pem, int fd, ConnectionStateListener* listener);
};

} // namespace Sid

#endif
