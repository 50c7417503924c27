// The platform's registry of automation classes: a programmatic identifier,
// its class id and how an object of the class is started.
#pragma once

#include "host/oleautomation.h"

#include <functional>
#include <string>

namespace classregistry {

// Gives the new object with one reference, or a failure code.
using Factory = std::function<HRESULT(IDispatch** object)>;

void add(const std::u16string& progId, const CLSID& clsid, Factory factory);
// Puts another factory in place of the identifier's; gives the one that was.
Factory replace(const std::u16string& progId, Factory factory);
// A withdrawn identifier is unknown until put back, as on a machine where
// the application is not installed.
void setAvailable(const std::u16string& progId, bool available);
// Why the creation under way fails: the system's text for the code then
// names the reason too, until the next creation.
void setFailureReason(HRESULT code, const std::u16string& reason);

}
