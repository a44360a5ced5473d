#include "Tools/ChannelState.h"

#include "Tools/FileAccess.h"
#include "Tools/FileLayer.h"
#include "Tools/IniFormat.h"
#include "Tools/ReadXml.h"

std::string idle_channel_block(int channel) {
  std::string out;
  append_bounded(out, 512, "[%d]\nst=1\nct=0\nskpr=\nsip=\nsippr=\nsk=\n", channel);
  return out;
}

std::string channel_block(const S_User& user) {
  if (user.status <= CHAN_IDLE) return idle_channel_block(user.channel);
  std::string out;
  append_bounded(out, 512, "[%d]\nst=%d\nct=%d\nskpr=%s\nsip=%s\nsippr=%s\nsk=%s\n", static_cast<int>(user.channel),
                 static_cast<int>(user.status), static_cast<int>(user.calltype), one_line(user.skypepeer).c_str(),
                 one_line(user.sipuserid).c_str(), one_line(user.peer).c_str(), one_line(user.skypeuser).c_str());
  return out;
}

int ReadXml::clearchanState() {
  int fd = gw_fopen_retry(path("channelsstate.conf").c_str(), GW_CREATE, "w", "clearchanState");
  if (fd <= 0) return -1;
  gw_fclose(fd);
  return 0;
}

int ReadXml::openchanstate(int* fd) {
  if (!fd) return -1;
  int opened = gw_fopen_retry(path("channelsstate.conf").c_str(), GW_REWRITE, "w", "openchanstate");
  if (opened <= 0) return -1;
  *fd = opened;
  return 0;
}
