// The sibling library of the same maker: the object picked in it, and one
// text of extended data under an application name on a drawing object.
#pragma once

#include "host/AcString.h"
#include "host/dbmain.h"

// The id of the object currently selected in the sibling library, 0 if none.
Adesk::Int64 getCurrentSelectedObjectId();
// Fills text with the text stored under the name; empty when none. 0 on success.
int getXdata(AcDbObject* object, const ACHAR* appName, AcString& text);
// Stores the text under the name, replacing any earlier one. 0 on success.
int setXdata(AcDbObject* object, const ACHAR* appName, AcString text, int flag);
