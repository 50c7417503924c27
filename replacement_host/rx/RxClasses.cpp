// The runtime class system, the system registry and the dynamic linker.
#include "host/rxdbxapp.h"
#include "host/rxobject.h"

#include <map>
#include <set>
#include <string>

AcRxClass* AcRxObject::desc()
{
    static AcRxClass cls(u"AcRxObject", nullptr);
    return &cls;
}

AcRxClass* AcRxObject::isA() const { return desc(); }

ACRX_DEFINE_MEMBERS(AcRxDynamicLinker, AcRxObject)

namespace {
struct LinkerState {
    std::set<void*> unlocked;
    std::set<void*> mdiAware;
};
LinkerState& linkerState()
{
    static LinkerState state;
    return state;
}
}

bool AcRxDynamicLinker::unlockApplication(void* appId)
{
    linkerState().unlocked.insert(appId);
    return true;
}
bool AcRxDynamicLinker::registerAppMDIAware(void* appId)
{
    linkerState().mdiAware.insert(appId);
    return true;
}
bool AcRxDynamicLinker::isApplicationLocked(void* appId) const { return !linkerState().unlocked.count(appId); }
bool AcRxDynamicLinker::isAppMDIAware(void* appId) const { return linkerState().mdiAware.count(appId) != 0; }

AcRxObject* acrxSysRegistryAt(const ACHAR* key)
{
    static AcRxDynamicLinker linker;
    if (key && std::u16string(key) == u"DynamicLinker")
        return &linker;
    return nullptr;
}
