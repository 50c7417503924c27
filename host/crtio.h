// Low-level file access of the C runtime, shaped like its wide-character
// Windows form: open, length, read, close, a file's status and local time.
#pragma once

#include "host/adesk.h"

#include <ctime>

// Open flags, numbered as the runtime numbers them.
constexpr int _O_RDONLY = 0x0000;  // read only
constexpr int _O_BINARY = 0x8000;  // no newline translation

using __time64_t = Adesk::Int64;

// What _wstat64 tells about a file. The member names differ from the
// runtime's because the POSIX headers define st_mtime as a macro.
struct _stat64 {
    Adesk::Int64 size = 0;     // length in bytes
    __time64_t lastWrite = 0;  // last modification, seconds since 1970-01-01 00:00 UTC
    bool isFolder = false;     // a folder rather than a file
};

// A descriptor, or -1. Only reading is supported; a folder cannot be opened.
int _wopen(const ACHAR* path, int flags);
// The length in bytes as the runtime's 32-bit long: -1 when it cannot be
// read or does not fit (2 GiB or more).
Adesk::Int32 _filelength(int fd);
// Reads up to count bytes; the number read, 0 at the end, -1 on failure.
int _read(int fd, void* buffer, unsigned int count);
int _close(int fd);
// 0 on success, -1 when the file's status cannot be read.
int _wstat64(const ACHAR* path, _stat64* status);
// The local calendar time of a moment; 0 on success, an error number otherwise.
int _localtime64_s(std::tm* local, const __time64_t* time);
