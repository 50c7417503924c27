// Paths in field codes that are relative to the folder of the drawing being
// worked on: one function that gives the full path, for every field that
// reads a file.
#pragma once

#include "host/AcString.h"

namespace drawingpath {

// The full path of a path as a field code writes it: itself when absolute;
// when relative, resolved against the folder of the host's working drawing.
// False when a relative path has no working drawing to count from, its folder
// is not an existing folder, or its file name or the full path does not fit
// the 260-character path buffers.
bool locate(const AcString& written, AcString& fullPath);

}
