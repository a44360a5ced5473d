#ifndef SIMULATOR_LINKS_H
#define SIMULATOR_LINKS_H

// The interfaces through which the account model reaches the client
// connection and the voice side without knowing either.

#include <cstdint>
#include <string>

namespace velsim {

// The current client connection, as the model sees it: whole messages are
// queued and written in order by the connection's writer.
class Outbound {
public:
  virtual ~Outbound() = default;
  virtual void send(std::string bytes, std::string log_line) = 0;
  // Ends the connection (the control command "drop").
  virtual void drop() = 0;
};

// The runtime side of the voice interface, per call. Every operation only
// queues work for the voice thread and returns at once.
class VoiceLink {
public:
  virtual ~VoiceLink() = default;
  // Ask for the codec, create the call's channel, set the send codec and
  // start playback; with `send_now` the party's audio starts at once.
  virtual void open(uint32_t call, uint32_t call_member_id, uint32_t conversation, int tone_hz,
                    const std::string& audio_file, bool send_now) = 0;
  virtual void start_sending(uint32_t call) = 0;
  virtual void start_recording(uint32_t call) = 0;
  virtual void set_tone(uint32_t call, int tone_hz) = 0;
  // Stop playback and delete the channel.
  virtual void close(uint32_t call) = 0;
  // The account logged in or out: the voice connection is kept while it is in.
  virtual void set_online(bool online) = 0;
  // "key=value ..." of what the channel of a call received and sent.
  virtual std::string stats(uint32_t call) = 0;
};

// A voice side that does nothing: a model without voice (tests, fuzzing).
class NoVoice : public VoiceLink {
public:
  void open(uint32_t, uint32_t, uint32_t, int, const std::string&, bool) override {}
  void start_sending(uint32_t) override {}
  void start_recording(uint32_t) override {}
  void set_tone(uint32_t, int) override {}
  void close(uint32_t) override {}
  void set_online(bool) override {}
  std::string stats(uint32_t) override { return "voice=none"; }
};

}  // namespace velsim

#endif
