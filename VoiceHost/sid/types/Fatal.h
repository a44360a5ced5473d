#ifndef SID_TYPES_FATAL_H
#define SID_TYPES_FATAL_H

namespace Sid {

// A threading primitive that cannot work leaves the process in no state worth
// continuing from: print the message with perror and abort.
[[noreturn]] void fatal_posix(const char* message);

}  // namespace Sid

#endif
