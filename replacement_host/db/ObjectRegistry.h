// The process-wide table from object id to object: an id stays meaningful
// across drawings, as the host's ids do, and its number never repeats.
#pragma once

#include "host/dbmain.h"

namespace hostdb {
AcDbObjectId newObjectId();
void registerObject(AcDbObjectId id, AcDbObject* object);
void unregisterObject(AcDbObjectId id);
AcDbObject* lookupObject(AcDbObjectId id);
}
