#ifndef VELMORA_TOOLS_RECORDFILES_H
#define VELMORA_TOOLS_RECORDFILES_H

// Helpers shared by the call record and statistics writers.

#include <cstddef>
#include <ctime>
#include <string>

// Fills `out` (`size` bytes) with `dir` followed by the current local time
// (the gateway clock) formatted with `name_format`; false when it does not fit.
bool record_file_name(const std::string& dir, const char* name_format, char* out, size_t size);

// Opens a record or statistics file for reading and appending under an
// exclusive lock: one attempt when it does not exist yet (it is created),
// else up to 6 attempts 10 ms apart. Descriptor or -1.
int open_record_file(const char* path, const char* who);

// "%Y-%m-%d %H:%M:%S" in local time.
std::string record_time(time_t when);

// Whether an account name can name a directory of its own under the
// configuration directory: not empty, no "/", not "." or "..", no control
// character.
bool safe_account_dir(const std::string& name);

#endif
