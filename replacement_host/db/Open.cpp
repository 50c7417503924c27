// Opening objects by id, resolving handles of the working drawing, and the
// application services that say which drawing that is.
#include "host/acutads.h"
#include "host/dbapserv.h"
#include "host/dbmain.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/db/ObjectRegistry.h"

Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& object, AcDbObjectId id, AcDb::OpenMode mode, bool openErased,
                                     const AcRxClass* cls)
{
    object = nullptr;
    if (id.isNull())
        return Acad::eNullObjectId;
    if (mode != AcDb::kForRead && mode != AcDb::kForWrite && mode != AcDb::kForNotify)
        return Acad::eInvalidInput;
    AcDbObject* obj = hostdb::lookupObject(id);
    if (!obj)
        return Acad::eKeyNotFound;
    if (obj->isErased() && !openErased)
        return Acad::eWasErased;
    if (cls && !obj->isKindOf(cls))
        return Acad::eWrongObjectType;
    HostAccess::hostOpened(*obj);
    object = obj;
    return Acad::eOk;
}

AcDbHostApplicationServices* acdbHostApplicationServices()
{
    static AcDbHostApplicationServices services;
    return &services;
}

int acdbHandEnt(const ACHAR* handle, ads_name name)
{
    if (!name)
        return RTERROR;
    name[0] = name[1] = 0;
    AcDbDatabase* db = acdbHostApplicationServices()->workingDatabase();
    if (!db || !handle || !*handle)
        return RTERROR;
    AcDbObjectId id;
    if (db->getAcDbObjectId(id, false, AcDbHandle(handle)) != Acad::eOk)
        return RTERROR;
    // An erased object has no name any more.
    AcDbObject* obj = HostAccess::objectAt(*db, id);
    if (!obj || obj->isErased())
        return RTERROR;
    name[0] = id.asOldId();
    return RTNORM;
}

Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& id, const ads_name name)
{
    id = AcDbObjectId();
    if (!name || name[0] == 0)
        return Acad::eInvalidInput;
    id = AcDbObjectId::fromOldId(name[0]);
    return id.isValid() ? Acad::eOk : Acad::eKeyNotFound;
}
