#ifndef SID_PROTOCOL_STATUS_H
#define SID_PROTOCOL_STATUS_H

namespace Sid {
namespace Protocol {

// The result of every protocol operation.
enum Status {
  OK = 0,
  ERR_DECODE = 1,  // malformed input, a read failure, or a limit exceeded
  ERR_ENCODE = 2,  // a write failed
  ERR_CALL = 3,    // the peer answered the call with an error response
  COMPLETED = 4,   // a property stream has ended
};

// The byte after the leading 'Z' of every message.
enum Command : unsigned char {
  CMD_RESERVED = 0,
  CMD_XCALL = 'R',
  CMD_XREPLY = 'r',
  CMD_EVENT = 'E',
  CMD_GET = 'G',
  CMD_GET_REPLY = 'g',
  CMD_PROPCHANGE = 'C',
  CMD_SET = 'A',
  CMD_SET_REPLY = 'a',
};

// Marker bytes besides the kinds.
enum Marker : unsigned char {
  MSG_START = 'Z',
  MSG_END = 'z',
  LIST_END = ']',
  SEPARATOR = ',',
};

}  // namespace Protocol
}  // namespace Sid

#endif
