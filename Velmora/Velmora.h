#ifndef VELMORA_VELMORA_H
#define VELMORA_VELMORA_H

struct S_User;

// The gateway object: one instance, created by main after the configuration
// has been loaded, never destroyed. Its constructor brings up the SIP side;
// Begin starts the threads and the Skype accounts.
class Velmora {
public:
  Velmora();
  virtual ~Velmora();

  Velmora(const Velmora&) = delete;
  Velmora& operator=(const Velmora&) = delete;

  // Creates the command invoker and registers the SIP event handlers.
  void Init();

  // Starts the registration and record writer threads and the Skype
  // accounts; returns 1.
  int Begin();

  // The record writer thread (RecordWriter); `arg` is the gateway object.
  static void* cdr_thread(void* arg);

  S_User* m_curuser = nullptr;  // declared, not used
};

#endif
