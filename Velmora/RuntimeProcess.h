#ifndef VELMORA_RUNTIMEPROCESS_H
#define VELMORA_RUNTIMEPROCESS_H

#include <sys/types.h>

#include <string>

struct S_Skype;

// The Skype runtime processes, one per account: started as
//   <runtime program> -p <id + 8962> -s /<name>/
// detached at once, never through a shell.

// The client port of account `id`.
int RuntimePort(int id);

// Whether `name` can be handed to a runtime: it must fit the appliance's
// 128-byte command line (at most 64 characters with a five-digit port) and
// hold no "/" and no control character. On refusal `why` says what is wrong.
bool RuntimeNameAllowed(const std::string& name, std::string* why);

// Starts the runtime of `sk`; traces the command. Returns the process id of
// the runtime, or -1 when the name is refused or the start failed.
pid_t StartSkypeRuntime(const S_Skype& sk);

// Writes "gwpid.txt" in the configuration directory: one line in the layout
// of `ps -ef` for each running runtime process. Returns the number of lines
// written, or -1 when the file could not be written.
int ListSkypeRuntimes();

// Kills runtime process `pid` (SIGKILL). Returns 0, or -1 on failure.
int KillSkypeRuntime(pid_t pid);

#endif
