#ifndef VOICEHOST_TRANSPORT_AVTRACE_H
#define VOICEHOST_TRANSPORT_AVTRACE_H

// Connection messages of the voice interface library. Unlike the gateway's
// own trace, these are always printed: they are the only record of why a
// runtime's voice connection went away.
//
// AV_TRACE prints "<file>:<line>(<function>): " and the message;
// av_print prints the message alone.

namespace Sid {

void av_trace(const char* file, int line, const char* func, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
void av_print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace Sid

#define AV_TRACE(...) ::Sid::av_trace(__FILE__, __LINE__, __func__, __VA_ARGS__)

#endif
