// The simulator's voice side against the voice interface's own classes: the
// callback listener fed by the gateway's callback client (and by raw bytes
// with bad input), G.729 audio judged by the per-call statistics, and the
// voice client's G.729 packets taken by a voice host server and decoded
// with bcg729.

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <bcg729/decoder.h>
#include <bcg729/encoder.h>
}

#include "Simulator/Audio.h"
#include "Simulator/EventLog.h"
#include "Simulator/StreamTransport.h"
#include "Simulator/VoiceCallback.h"
#include "Simulator/VoiceClient.h"
#include "Simulator/VoiceStats.h"
#include "Velmora/audio/g711.h"
#include "VoiceHost/multirtp/SkypeMultiRTPCallbackInterfaceClient.h"
#include "VoiceHost/multirtp/SkypeMultiRTPInterfaceServer.h"

using namespace velsim;

namespace {

std::string account_name(const char* what) { return std::string("simtest-") + what + "-" + std::to_string(getpid()); }

// An RTP packet of 20 ms of a PCMU tone.
std::string pcmu_packet(audio::Tone& tone, uint16_t seq) {
  std::string rtp(12 + audio::kFrame, '\0');
  rtp[0] = static_cast<char>(0x80);
  rtp[2] = static_cast<char>(seq >> 8);
  rtp[3] = static_cast<char>(seq);
  int16_t pcm[audio::kFrame];
  tone.fill(pcm, audio::kFrame);
  for (size_t n = 0; n < audio::kFrame; ++n) rtp[12 + n] = static_cast<char>(g711_linear_to_ulaw(pcm[n]));
  return rtp;
}

// SendRTPPacket(channel, rtp) as the voice host writes it.
std::string send_rtp_call(int channel, const std::string& rtp, unsigned rid) {
  std::string m = "ZR";
  m += '\0';
  m += '\x01';
  m += static_cast<char>(rid);
  m += 'i';
  m += '\x01';
  m += static_cast<char>(channel * 2);  // zigzag, small values
  m += 'B';
  m += '\x02';
  size_t n = rtp.size();
  m += static_cast<char>((n & 0x7F) | 0x80);
  m += static_cast<char>(n >> 7);
  return m + rtp + "z";
}

size_t field(const std::string& text, const std::string& key) {
  size_t at = text.find(" " + key + "=");
  if (at == std::string::npos) return 0;
  return std::stoul(text.substr(at + key.size() + 2));
}

TEST(SimVoiceCallback, PacketsAreCountedAndBadInputIsSkipped) {
  EventLog log;
  VoiceStats stats;
  stats.bind(3, 7, "PCMU");
  VoiceCallback cb(log, stats);
  audio::Tone tone(700);
  std::string stream = "xx";
  for (unsigned n = 0; n < 10; ++n) stream += send_rtp_call(3, pcmu_packet(tone, static_cast<uint16_t>(n)), n);
  stream += "ZR\xff\xff\xff\xff\xff\xff";                   // an overlong varint
  stream += "ZR" + std::string("\x00\x02\x05z", 4);           // not SendRTPPacket: skipped
  stream += "ZR" + std::string("\x00\x01\x06S\x01\x01xz", 8);  // the wrong kinds
  stream += send_rtp_call(4, pcmu_packet(tone, 10), 11);        // channel 4: nobody's
  stream += send_rtp_call(3, pcmu_packet(tone, 11), 12);
  stream += send_rtp_call(3, pcmu_packet(tone, 12), 13).substr(0, 40);  // cut short
  BytesTransport t(stream);
  cb.serve(t);
  std::string text = stats.text(7);
  EXPECT_EQ(field(text, "received"), 11u) << text;
  EXPECT_EQ(field(text, "bytes"), 11u * 172) << text;
  EXPECT_EQ(field(text, "top_freq"), 700u) << text;
  EXPECT_EQ(stats.unmatched(), 1u);
}

TEST(SimVoiceCallback, TheGatewaysCallbackClientDeliversAndANewConnectionReplacesTheOld) {
  EventLog log;
  VoiceStats stats;
  stats.bind(1, 1, "PCMU");
  VoiceCallback cb(log, stats);
  std::string error;
  std::string account = account_name("cb");
  ASSERT_TRUE(cb.start(account, error)) << error;
  std::string key = "/" + account + "/multirtp_to_skypekit_key";
  audio::Tone tone(1200);
  auto deliver = [&](int packets, size_t total) {
    Sid::SkypeMultiRTPCallbackInterfaceClient client;
    ASSERT_TRUE(client.Connect(key.c_str(), 2000));
    for (int n = 0; n < packets; ++n) {
      std::string rtp = pcmu_packet(tone, static_cast<uint16_t>(n));
      ASSERT_TRUE(client.SendRTPPacket(1, SEBinary(rtp.data(), static_cast<unsigned>(rtp.size()))));
    }
    // Until the listener has read them all.
    for (int k = 0; k < 400 && field(stats.text(1), "received") < total; ++k)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  deliver(25, 25);
  EXPECT_EQ(field(stats.text(1), "received"), 25u);
  // A second voice host while the first connection may still be open.
  Sid::SkypeMultiRTPCallbackInterfaceClient held;
  ASSERT_TRUE(held.Connect(key.c_str(), 2000));
  deliver(25, 50);
  std::string text = stats.text(1);
  EXPECT_EQ(field(text, "received"), 50u) << text;
  EXPECT_EQ(field(text, "top_freq"), 1200u) << text;
  cb.stop();
}

TEST(SimVoiceStats, G729FromTheGatewayIsDecodedForItsFrequency) {
  VoiceStats stats;
  stats.bind(2, 9, "G729");
  bcg729EncoderChannelContextStruct* enc = initBcg729EncoderChannel(0);
  audio::Tone tone(600);
  for (uint16_t n = 0; n < 50; ++n) {
    std::string rtp(12 + 20, '\0');
    rtp[0] = static_cast<char>(0x80);
    rtp[1] = 18;
    int16_t pcm[160];
    tone.fill(pcm, 160);
    uint8_t len = 0;
    bcg729Encoder(enc, pcm, reinterpret_cast<uint8_t*>(&rtp[12]), &len);
    bcg729Encoder(enc, pcm + 80, reinterpret_cast<uint8_t*>(&rtp[22]), &len);
    stats.received(2, reinterpret_cast<const uint8_t*>(rtp.data()), rtp.size());
  }
  closeBcg729EncoderChannel(enc);
  std::string text = stats.text(9);
  EXPECT_EQ(field(text, "received"), 50u) << text;
  EXPECT_EQ(field(text, "top_freq"), 600u) << text;
  EXPECT_EQ(field(text, "freq"), 600u) << text;
}

// A voice host that offers only G.729 and keeps what is submitted.
class G729Host : public Sid::SkypeMultiRTPInterface {
public:
  int GetVersion(String& v) override { v = "test"; return 1; }
  int GetLastError() override { return 0; }
  int Init() override { return 1; }
  int Uninit() override { return 1; }
  int CreateChannel(unsigned, unsigned, int& channel) override { channel = 5; return 1; }
  int DeleteChannel(int) override { return 1; }
  int ChangeConversationId(int, unsigned, unsigned) override { return 1; }
  int GetCodec(unsigned id, Codec& codec) override {
    if (id != 0) return 0;
    codec.Name = "G729";
    codec.PayloadType = 18;
    codec.Freq = 8000;
    codec.Channels = 1;
    codec.SupportedPacketSizes = {20};
    codec.DefaultPacketSize = 20;
    return 1;
  }
  int GetCodecCount(unsigned& count) override { count = 1; return 1; }
  int SetSendCodec(int, const String& name, int packet, int, int pt) override {
    std::lock_guard<std::mutex> lock(m);
    send_codec = std::string(name.data()) + "/" + std::to_string(packet) + "/" + std::to_string(pt);
    return 1;
  }
  void InformSendPacketLoss(int, unsigned, unsigned, unsigned, unsigned) override {}
  int StartPlayback(int) override { return 1; }
  int StopPlayback(int) override { return 1; }
  int StartRecording(int) override { return 1; }
  int StopRecording(int) override { return 1; }
  void SubmitRTPPacket(int channel, const Binary& data) override {
    std::lock_guard<std::mutex> lock(m);
    if (channel == 5) packets.emplace_back(data.data(), data.size());
  }
  int SendDTMF(int, int, int) override { return 1; }
  int SetOutputAmplification(int, int) override { return 1; }
  int CustomCommand(const String&, String&) override { return 1; }

  std::mutex m;
  std::string send_codec;
  std::vector<std::string> packets;
};

TEST(SimVoiceClient, G729PacketsCarryTheTone) {
  std::string account = account_name("g729");
  std::string key = "/" + account + "/multirtp_from_skypekit_key";
  G729Host host;
  Sid::SkypeMultiRTPInterfaceServer server;
  server.set_if(&host);
  std::thread serving([&] {
    if (!server.Connect(key.c_str(), 5000)) return;
    while (server.ProcessCommands() == 0) {
    }
  });
  EventLog log;
  VoiceStats stats;
  {
    VoiceClient voice(account, log, stats);
    voice.set_online(true);
    voice.open(1, 1001, 2, 1000, "", true);
    for (int k = 0; k < 300; ++k) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::lock_guard<std::mutex> lock(host.m);
      if (host.packets.size() >= 40) break;
    }
    voice.close(1);
    voice.stop();
  }
  server.Disconnect();
  serving.join();

  std::lock_guard<std::mutex> lock(host.m);
  EXPECT_EQ(host.send_codec, "G729/20/18");
  ASSERT_GE(host.packets.size(), 40u);
  bcg729DecoderChannelContextStruct* dec = initBcg729DecoderChannel();
  audio::Analyser analyser;
  for (const std::string& p : host.packets) {
    ASSERT_EQ(p.size(), 12u + 20u);
    EXPECT_EQ(static_cast<unsigned char>(p[1]) & 0x7F, 18u);
    for (int f = 0; f < 2; ++f) {
      int16_t pcm[80];
      bcg729Decoder(dec, reinterpret_cast<const uint8_t*>(p.data()) + 12 + 10 * f, 10, 0, 0, 0, pcm);
      analyser.add(pcm, 80);
    }
  }
  closeBcg729DecoderChannel(dec);
  EXPECT_EQ(analyser.top_freq(), 1000);
  EXPECT_EQ(analyser.silent_blocks(), 0u);
}

}  // namespace
