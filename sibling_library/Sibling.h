// The driving side of the sibling library stand-in: what the command and the
// tests use to pick the object the library reports as selected. The module
// reads the selection through host/TesslySibling.h only.
#pragma once

#include "host/adesk.h"

// What the sibling library holds as selected; 0 for none.
void setCurrentSelectedObjectId(Adesk::Int64 id);
