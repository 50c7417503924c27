// Path functions of the platform, shaped like the Windows shell's path API,
// plus the full-path step that resolves a relative path against a folder.
// On this platform '/' starts an absolute path too, and '\\' separates
// folders in relative paths as '/' does.
#pragma once

#include "host/adesk.h"

#include <cstddef>

// Path buffers hold this many characters, the terminating zero included.
constexpr std::size_t MAX_PATH = 260;

// Relative unless it starts with '\\' or '/', or its second character is ':'.
bool PathIsRelativeW(const ACHAR* path);
// Cuts the last path element and its separator, in place; a root stays.
// True when something was removed.
bool PathRemoveFileSpecW(ACHAR* path);
// Whether a file or folder exists at the path.
bool PathFileExistsW(const ACHAR* path);

// The full path of relPath as _wfullpath gives it with folder made the
// working folder first, without changing the process's working folder:
// null when the folder is not an existing folder or when the full path with
// its terminating zero does not fit in maxLength characters.
ACHAR* _wfullpathIn(ACHAR* absPath, const ACHAR* folder, const ACHAR* relPath, std::size_t maxLength);
