#ifndef VELMORA_APPTOKEN_H
#define VELMORA_APPTOKEN_H

// Reads the application token (a PEM certificate and its key) from
// `keyFileName` into `apptoken_certificate_buf`, NUL-terminated, with its
// size + 1 in `keyLen`. Returns 1 when it was read, 0 otherwise.
int getKeyPair();

#endif
