#ifndef TESTS_UNIT_VOICEHOST_RUNTIMEPEER_H
#define TESTS_UNIT_VOICEHOST_RUNTIMEPEER_H

// The Skype runtime's side of an account's voice interface, built from the
// library's own client of the interface and server of the callback.

#include <atomic>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceServer.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceClient.h"
#include "tests/unit/voicehost/SocketTestUtil.h"

namespace vhtest {

// Counts the packets the host hands to the runtime.
struct PacketSink : Sid::SkypeMultiRTPCallbackInterface {
  bool SendRTPPacket(int channel_id, const Binary& data) override {
    std::lock_guard<std::mutex> lock(mutex);
    channels.push_back(channel_id);
    sizes.push_back(data.size());
    return true;
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return channels.size();
  }
  std::mutex mutex;
  std::vector<int> channels;
  std::vector<size_t> sizes;
};

// An account name no other test uses.
inline std::string unique_account(const char* tag) {
  static std::atomic<int> counter{0};
  return std::string("vh") + tag + std::to_string(getpid()) + "x" + std::to_string(counter++);
}

inline std::string server_key(const std::string& account) { return "/" + account + "/multirtp_from_skypekit_key"; }
inline std::string callback_key(const std::string& account) { return "/" + account + "/multirtp_to_skypekit_key"; }

struct RuntimePeer {
  explicit RuntimePeer(const std::string& account, bool serve_callback = true) : cb_key(callback_key(account)) {
    callbacks.set_if(&sink);
    if (serve_callback) {
      callback_thread = std::thread([this] {
        if (!callbacks.Connect(cb_key.c_str(), 10000)) return;
        while (callbacks.ProcessCommands() == 0) {
        }
      });
    }
    srv_key = server_key(account);
  }
  // Connects to the host's server (retrying while it is not yet listening).
  bool connect() { return host.Connect(srv_key.c_str(), 5000); }
  void close_all() {
    host.Disconnect();
    callbacks.Disconnect();
    if (callback_thread.joinable()) callback_thread.join();
  }
  ~RuntimePeer() { close_all(); }

  std::string cb_key;
  std::string srv_key;
  PacketSink sink;
  Sid::SkypeMultiRTPCallbackInterfaceServer callbacks;
  Sid::SkypeMultiRTPInterfaceClient host;
  std::thread callback_thread;
};

}  // namespace vhtest

#endif
