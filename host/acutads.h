// The host's utility calls: handle resolution into entity names, the command
// line, buffers the host hands out, and distances.
#pragma once

#include "host/adesk.h"
#include "host/dbid.h"
#include "host/geometry.h"

using ads_name = Adesk::Int64[2];

// Result codes of the utility calls.
enum : int {
    RTNORM = 5100,    // success
    RTERROR = -5001,  // failure
};

// Resolves a handle of the working drawing; RTNORM when an object has it.
int acdbHandEnt(const ACHAR* handle, ads_name name);
Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& id, const ads_name name);
// Prints on the host's command line. Understands %s (a UTF-16 text), %d,
// %ld, %x, %g and %%.
int acutPrintf(const ACHAR* format, ...);
void acutDelBuffer(ACHAR*& buffer);
double acutDistance(const AcGePoint3d& p1, const AcGePoint3d& p2);
