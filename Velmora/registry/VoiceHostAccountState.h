#ifndef VELMORA_REGISTRY_VOICEHOSTACCOUNTSTATE_H
#define VELMORA_REGISTRY_VOICEHOSTACCOUNTSTATE_H

#include <map>

#include "VoiceHost/sid/types/SkypeMutex.h"

// What the voice host of one Skype account shares with call control through
// the account's session object: voice channels opened before a channel
// record claimed them, and the busy mark of the default SkypeOut account.
struct VoiceHostAccountState {
  // call-member id -> voice channel; guarded by par_chan_mutex, which is
  // never taken while the channel-table lock is held.
  std::map<int, int> participantchannel;
  SkypeMutex par_chan_mutex;
  // Set while the account places an outgoing call; guarded by skype_mutex,
  // which may be taken inside the channel-table lock, never the reverse.
  bool skype_in_use = false;
  SkypeMutex skype_mutex;
};

#endif
