#ifndef SIMULATOR_APIIDS_H
#define SIMULATOR_APIIDS_H

// The API numbers the simulator serves: module, method, property and event
// ids and the enumeration values it uses, in one place.

#include <cstdint>

namespace velsim::api {

namespace mod {
constexpr uint32_t SKYPE = 0, ACCOUNT = 5, MESSAGE = 9, VIDEO = 11, CONVERSATION = 18, PARTICIPANT = 19;
}

namespace method {
// Skype (module 0)
constexpr uint32_t START = 145, GET_ACCOUNT = 115, GET_CONVERSATION_LIST = 18, GET_CONVERSATION_BY_IDENTITY = 15;
// Account (5)
constexpr uint32_t LOGIN_WITH_PASSWORD = 6, LOGOUT = 8;
// Conversation (18)
constexpr uint32_t JOIN_LIVE_SESSION = 10, LEAVE_LIVE_SESSION = 15, SEND_DTMF = 16, POST_TEXT = 19,
                   GET_PARTICIPANTS = 38, DELETE = 47;
// Participant (19)
constexpr uint32_t RING = 3, GET_VIDEO = 4;
}  // namespace method

namespace event {
constexpr uint32_t ON_CONVERSATION_LIST_CHANGE = 4, ON_MESSAGE = 5;  // module 0
constexpr uint32_t ON_PARTICIPANT_LIST_CHANGE = 1;                    // module 18
constexpr uint32_t ON_INCOMING_DTMF = 1;                              // module 19
}  // namespace event

namespace prop {
// Account
constexpr uint32_t ACC_SKYPENAME = 4, ACC_FULLNAME = 5, ACC_STATUS = 70, ACC_LOGOUTREASON = 73,
                   ACC_BALANCE_CURRENCY = 74, ACC_BALANCE = 75, ACC_PRECISION = 804;
// Conversation
constexpr uint32_t CONV_IDENTITY = 972, CONV_TYPE = 902, CONV_CREATOR = 903, CONV_CREATION_TIMESTAMP = 904,
                   CONV_LIVE_HOST = 918, CONV_DISPLAYNAME = 924, CONV_LOCAL_LIVESTATUS = 927,
                   CONV_LIVE_START_TIMESTAMP = 974, CONV_LIVE_IS_MUTED = 996;
// Participant
constexpr uint32_t PART_CONVO_ID = 930, PART_IDENTITY = 931, PART_RANK = 932, PART_TEXT_STATUS = 934,
                   PART_VOICE_STATUS = 935, PART_VIDEO_STATUS = 936, PART_LIVE_START_TIMESTAMP = 939,
                   PART_DEBUGINFO = 942, PART_LIVE_IDENTITY = 943, PART_LAST_LEAVEREASON = 955;
// Message
constexpr uint32_t MSG_CONVO_ID = 960, MSG_AUTHOR = 122, MSG_AUTHOR_DISPLAYNAME = 123, MSG_TIMESTAMP = 121,
                   MSG_TYPE = 961, MSG_BODY_XML = 127, MSG_IDENTITIES = 125, MSG_LEAVEREASON = 126;
}  // namespace prop

// Account::STATUS
namespace status {
constexpr uint32_t LOGGED_OUT = 1, CONNECTING_TO_SERVER = 4, LOGGING_IN = 5, INITIALIZING = 6, LOGGED_IN = 7,
                   LOGGING_OUT = 8;
}
// Account::LOGOUTREASON
namespace logout {
constexpr uint32_t LOGOUT_CALLED = 1, SERVER_CONNECT_FAILED = 5, INCORRECT_PASSWORD = 14;
}
// Conversation::LOCAL_LIVESTATUS
namespace live {
constexpr uint32_t NONE = 0, STARTING = 1, RINGING_FOR_ME = 2, IM_LIVE = 3, RECENTLY_LIVE = 10;
}
// Conversation::LIST_TYPE
namespace list {
constexpr uint32_t ALL = 0, INBOX = 1, BOOKMARKED = 2, LIVE = 3, REALLY_ALL = 5;
}
// Conversation::PARTICIPANTFILTER
namespace filter {
constexpr uint32_t ALL = 0, CONSUMERS = 1, APPLICANTS = 2, CONSUMERS_AND_APPLICANTS = 3, MYSELF = 4,
                   OTHER_CONSUMERS = 5;
}
// Conversation::TYPE
constexpr uint32_t CONV_TYPE_DIALOG = 1;
// Participant::VOICE_STATUS
namespace voice {
constexpr uint32_t UNKNOWN = 0, NA = 1, AVAILABLE = 2, CONNECTING = 3, RINGING = 4, EARLY_MEDIA = 5,
                   LISTENING = 6, SPEAKING = 7, ON_HOLD = 8, STOPPED = 9;
}
// Participant::VIDEO_STATUS
constexpr uint32_t VIDEO_NA = 1;
// Message::TYPE
namespace msgtype {
constexpr uint32_t STARTED_LIVESESSION = 30, ENDED_LIVESESSION = 39, POSTED_TEXT = 61;
}
// LEAVE_REASON
namespace leave {
constexpr uint32_t NONE = 0, LIVE_NO_ANSWER = 100, LIVE_MANUAL = 101, LIVE_BUSY = 102,
                   LIVE_CONNECTION_DROPPED = 103, LIVE_PSTN_CALL_REJECTED = 116;
}
// Participant::DTMF: digits 0-9, then STAR 10 and POUND 11
constexpr uint32_t DTMF_STAR = 10, DTMF_POUND = 11;

}  // namespace velsim::api

#endif
