// A measure field reaching into the replacement host.
#include "replacement_host/db/AcDbDatabase.h"
#include "host/dbmain.h"
