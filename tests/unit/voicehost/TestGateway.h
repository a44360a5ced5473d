#ifndef VELMORA_TESTS_TESTGATEWAY_H
#define VELMORA_TESTS_TESTGATEWAY_H

#include "Velmora/Velmora.h"

// The gateway object is one per process (it owns the SIP stack), so the
// tests of one program share it.
inline Velmora& test_gateway() {
  static Velmora gateway;
  return gateway;
}

#endif
