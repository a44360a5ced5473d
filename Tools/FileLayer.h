#ifndef VELMORA_TOOLS_FILELAYER_H
#define VELMORA_TOOLS_FILELAYER_H

// The file layer shared by every configuration, state and record file.
// Every open takes a non-blocking whole-file fcntl lock: shared for mode
// "r", exclusive for mode "w". All functions return -1 on failure; a
// descriptor of 0 counts as failure everywhere.

#include <fcntl.h>

// Flag values used with mode "w".
constexpr int GW_CREATE = O_WRONLY | O_CREAT | O_TRUNC | O_APPEND;  // 1601: create or empty
constexpr int GW_REWRITE = O_RDWR | O_CREAT | O_TRUNC | O_APPEND;   // 1602: rewrite
constexpr int GW_APPEND = O_RDWR | O_CREAT | O_APPEND;              // 1090: read, then append

// Opens `path` and locks it whole. Mode "r" opens read-only (flags ignored);
// mode "w" opens with `flags` and permission bits 0777. When the lock cannot
// be taken at once the descriptor is closed and -1 returned. O_TRUNC is
// applied only once the lock is held, so a file locked by someone else is
// never emptied by a failed attempt.
int gw_fopen(const char* path, int flags, const char* mode);

// Releases the lock (when fd > 0) and closes fd.
int gw_fclose(int fd);

// Size of the open file, or -1.
int gw_fsize(int fd);

// One read(2) / write(2); -1 for a null buffer or size <= 0.
int gw_fread(int fd, char* buf, int size);
int gw_fwrite(int fd, const char* buf, int size);

// Splits `buf` into lines, each keeping its terminating CR or LF; runs of
// line breaks after a line are skipped. Allocates the array and each line
// (free with gw_free_strarray). Returns 0, or -1 on a null argument,
// size <= 0, a NUL byte in the buffer, or exhausted memory; on failure
// nothing is left allocated and the outputs are unchanged.
int gw_getline(char*** lines, int* count, const char* buf, int size);

// Frees each line and the array; a null array is accepted.
void gw_free_strarray(char** lines, int count);

#endif
