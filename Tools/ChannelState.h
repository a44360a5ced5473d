#ifndef VELMORA_TOOLS_CHANNELSTATE_H
#define VELMORA_TOOLS_CHANNELSTATE_H

// The blocks of the channel state file (channelsstate.conf).

#include <string>

#include "Velmora/registry/Registry.h"

// The block of an idle channel.
std::string idle_channel_block(int channel);

// The block of `user`'s channel: the busy block when its status is above 1,
// else the idle block. Cut at 511 bytes.
std::string channel_block(const S_User& user);

#endif
