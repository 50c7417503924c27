// The sibling library stand-in: a selected object and extended-data texts.
#include "sibling_library/Sibling.h"
#include "host/TesslySibling.h"

#include <utility>

namespace {
Adesk::Int64 g_selected = 0;
}

Adesk::Int64 getCurrentSelectedObjectId() { return g_selected; }

void setCurrentSelectedObjectId(Adesk::Int64 id) { g_selected = id; }

int getXdata(AcDbObject* object, const ACHAR* appName, AcString& text)
{
    text.clear();
    if (!object || !appName || !*appName)
        return -1;
    return object->getXdataText(appName, text) ? 0 : -1;
}

int setXdata(AcDbObject* object, const ACHAR* appName, AcString text, int)
{
    if (!object || !appName || !*appName)
        return -1;
    object->setXdataText(appName, std::move(text));
    return 0;
}
