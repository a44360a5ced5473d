#include "Simulator/ApiNames.h"

#include <cstddef>

#include "Simulator/ApiIds.h"

namespace velsim::api {

namespace {

struct Name {
  uint32_t module, id;
  const char* name;
};

constexpr Name kMethods[] = {
    {mod::SKYPE, method::START, "Start"},
    {mod::SKYPE, method::GET_ACCOUNT, "GetAccount"},
    {mod::SKYPE, method::GET_CONVERSATION_LIST, "GetConversationList"},
    {mod::SKYPE, method::GET_CONVERSATION_BY_IDENTITY, "GetConversationByIdentity"},
    {mod::ACCOUNT, method::LOGIN_WITH_PASSWORD, "LoginWithPassword"},
    {mod::ACCOUNT, method::LOGOUT, "Logout"},
    {mod::CONVERSATION, method::JOIN_LIVE_SESSION, "JoinLiveSession"},
    {mod::CONVERSATION, method::LEAVE_LIVE_SESSION, "LeaveLiveSession"},
    {mod::CONVERSATION, method::SEND_DTMF, "SendDTMF"},
    {mod::CONVERSATION, method::POST_TEXT, "PostText"},
    {mod::CONVERSATION, method::GET_PARTICIPANTS, "GetParticipants"},
    {mod::CONVERSATION, method::DELETE, "Delete"},
    {mod::PARTICIPANT, method::RING, "Ring"},
    {mod::PARTICIPANT, method::GET_VIDEO, "GetVideo"},
};

constexpr Name kProps[] = {
    {mod::ACCOUNT, prop::ACC_SKYPENAME, "SKYPENAME"},
    {mod::ACCOUNT, prop::ACC_FULLNAME, "FULLNAME"},
    {mod::ACCOUNT, prop::ACC_STATUS, "STATUS"},
    {mod::ACCOUNT, prop::ACC_LOGOUTREASON, "LOGOUTREASON"},
    {mod::ACCOUNT, prop::ACC_BALANCE_CURRENCY, "SKYPEOUT_BALANCE_CURRENCY"},
    {mod::ACCOUNT, prop::ACC_BALANCE, "SKYPEOUT_BALANCE"},
    {mod::ACCOUNT, prop::ACC_PRECISION, "SKYPEOUT_PRECISION"},
    {mod::CONVERSATION, prop::CONV_IDENTITY, "IDENTITY"},
    {mod::CONVERSATION, prop::CONV_TYPE, "TYPE"},
    {mod::CONVERSATION, prop::CONV_CREATOR, "CREATOR"},
    {mod::CONVERSATION, prop::CONV_CREATION_TIMESTAMP, "CREATION_TIMESTAMP"},
    {mod::CONVERSATION, prop::CONV_LIVE_HOST, "LIVE_HOST"},
    {mod::CONVERSATION, prop::CONV_DISPLAYNAME, "DISPLAYNAME"},
    {mod::CONVERSATION, prop::CONV_LOCAL_LIVESTATUS, "LOCAL_LIVESTATUS"},
    {mod::CONVERSATION, prop::CONV_LIVE_START_TIMESTAMP, "LIVE_START_TIMESTAMP"},
    {mod::CONVERSATION, prop::CONV_LIVE_IS_MUTED, "LIVE_IS_MUTED"},
    {mod::PARTICIPANT, prop::PART_CONVO_ID, "CONVO_ID"},
    {mod::PARTICIPANT, prop::PART_IDENTITY, "IDENTITY"},
    {mod::PARTICIPANT, prop::PART_VOICE_STATUS, "VOICE_STATUS"},
    {mod::PARTICIPANT, prop::PART_VIDEO_STATUS, "VIDEO_STATUS"},
    {mod::PARTICIPANT, prop::PART_LIVE_START_TIMESTAMP, "LIVE_START_TIMESTAMP"},
    {mod::PARTICIPANT, prop::PART_DEBUGINFO, "DEBUGINFO"},
    {mod::PARTICIPANT, prop::PART_LIVE_IDENTITY, "LIVE_IDENTITY"},
    {mod::PARTICIPANT, prop::PART_LAST_LEAVEREASON, "LAST_LEAVEREASON"},
    {mod::MESSAGE, prop::MSG_CONVO_ID, "CONVO_ID"},
    {mod::MESSAGE, prop::MSG_AUTHOR, "AUTHOR"},
    {mod::MESSAGE, prop::MSG_AUTHOR_DISPLAYNAME, "AUTHOR_DISPLAYNAME"},
    {mod::MESSAGE, prop::MSG_TIMESTAMP, "TIMESTAMP"},
    {mod::MESSAGE, prop::MSG_TYPE, "TYPE"},
    {mod::MESSAGE, prop::MSG_BODY_XML, "BODY_XML"},
    {mod::MESSAGE, prop::MSG_IDENTITIES, "IDENTITIES"},
    {mod::MESSAGE, prop::MSG_LEAVEREASON, "LEAVEREASON"},
};

const char* find(const Name* table, size_t n, uint32_t module, uint32_t id) {
  for (size_t k = 0; k < n; ++k)
    if (table[k].module == module && table[k].id == id) return table[k].name;
  return "?";
}

}  // namespace

const char* method_name(uint32_t module, uint32_t method) {
  return find(kMethods, sizeof kMethods / sizeof kMethods[0], module, method);
}

const char* prop_name(uint32_t module, uint32_t prop) {
  return find(kProps, sizeof kProps / sizeof kProps[0], module, prop);
}

const char* module_name(uint32_t module) {
  switch (module) {
    case mod::SKYPE: return "Skype";
    case mod::ACCOUNT: return "Account";
    case mod::MESSAGE: return "Message";
    case mod::VIDEO: return "Video";
    case mod::CONVERSATION: return "Conversation";
    case mod::PARTICIPANT: return "Participant";
  }
  return "?";
}

}  // namespace velsim::api
