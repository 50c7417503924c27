// A table-cell field reading the replacement host's bookkeeping.
#include "host/dbtable.h"

int cellCount(const AcDbTable& table) { return static_cast<int>(table.hostCells().size()); }
AcDbObject* lookup(const AcDbDatabase& db, AcDbObjectId id) { return HostAccess::objectAt(db, id); }
