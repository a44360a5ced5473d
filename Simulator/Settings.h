#ifndef SIMULATOR_SETTINGS_H
#define SIMULATOR_SETTINGS_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velsim {

// How a remote party answers a call the account places.
enum class Answer { Answer, Busy, NoAnswer, Early, Reject, Manual };

const char* answer_name(Answer a);
bool parse_answer(const std::string& text, Answer& out);

struct Party {
  Answer answer = Answer::Answer;
  int ring_delay_ms = 150;      // VOICE_CONNECTING to RINGING
  int answer_delay_ms = 1000;   // RINGING (or EARLY_MEDIA) to the answer
  int early_media_ms = 500;     // RINGING to EARLY_MEDIA, for Answer::Early
  int noanswer_ms = 30000;      // how long an unanswered call rings
  int tone_hz = 1000;           // the party's audio; 0 is silence
  std::string audio_file;       // payload bytes in the call's codec, looped
};

// Settings of one account, from "<NAME>.conf" in the simulator directory:
// "key = value" lines, '#' comments, and "[party IDENTITY]" sections
// overriding the remote-party keys for one identity.
struct Settings {
  std::optional<std::string> password;  // none: any password logs in
  unsigned balance = 0;
  std::string currency = "EUR";
  unsigned precision = 2;
  int login_delay_ms = 100;          // each step of the login
  int incoming_timeout_ms = 60000;   // an incoming call the gateway leaves ringing
  int caller_tone_hz = 800;          // audio of a party calling in
  Party party;                       // remote parties by default
  std::map<std::string, Party> parties;  // by lower-case identity

  const Party& party_for(const std::string& identity) const;
  // Sets one key of the defaults or of a party; false for an unknown key
  // or a bad value.
  bool set(const std::string& key, const std::string& value, Party* section = nullptr);
};

// Parses settings text; problems are appended to `errors` ("line N: ...")
// and the line is ignored.
Settings parse_settings(const std::string& text, std::vector<std::string>& errors);

std::string lower(const std::string& s);

}  // namespace velsim

#endif
