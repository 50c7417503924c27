// The application frame of a plug-in: message codes, the dynamic linker that
// the host keeps in its system registry, and AcRxDbxApp, the base of a
// plug-in's one application object. The frame is compiled into the plug-in.
#pragma once

#include "host/rxobject.h"

namespace AcRx {
// Application messages the host sends to acrxEntryPoint.
enum AppMsgCode : int {
    kNullMsg = 0,           // nothing
    kInitAppMsg = 1,        // initialise application
    kUnloadAppMsg = 2,      // unload application
    kLoadDwgMsg = 3,        // a drawing was loaded
    kUnloadDwgMsg = 4,      // a drawing is being unloaded
    kInvkSubrMsg = 5,       // invoke a function
    kCfgMsg = 6,            // configuration
    kEndMsg = 7,            // end of command
    kQuitMsg = 8,           // quit
    kSaveMsg = 9,           // drawing saved
    kDependencyMsg = 10,    // another application depends on this one
    kNoDependencyMsg = 11,  // it no longer does
    kOleUnloadAppMsg = 12,  // may be unloaded by the embedding host
    kPreQuitMsg = 13,       // about to quit
    kInitDialogMsg = 14,    // a dialog opens
    kEndDialogMsg = 15,     // a dialog closes
};
enum AppRetCode : int {
    kRetOK = 0,     // handled
    kRetError = 3,  // failed
};
}

class AcRxDynamicLinker : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcRxDynamicLinker)
public:
    // Lets the host unload the application while it runs.
    virtual bool unlockApplication(void* appId);
    // Marks the application as able to work with several open drawings.
    virtual bool registerAppMDIAware(void* appId);
    bool isApplicationLocked(void* appId) const;
    bool isAppMDIAware(void* appId) const;
};

// The host's system registry: named service objects, among them "DynamicLinker".
AcRxObject* acrxSysRegistryAt(const ACHAR* key);

class AcRxDbxApp {
public:
    AcRxDbxApp() = default;
    virtual ~AcRxDbxApp() = default;

    // Handlers for codes 1 to 15, then code 0; slot k-1 handles code k.
    virtual AcRx::AppRetCode On_kInitAppMsg(void* pkt) { return baseInit(pkt); }
    virtual AcRx::AppRetCode On_kUnloadAppMsg(void* pkt) { return baseUnload(pkt); }
    virtual AcRx::AppRetCode On_kLoadDwgMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kUnloadDwgMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kInvkSubrMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kCfgMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kEndMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kQuitMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kSaveMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kDependencyMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kNoDependencyMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kOleUnloadAppMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kPreQuitMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kInitDialogMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kEndDialogMsg(void*) { return AcRx::kRetOK; }
    virtual AcRx::AppRetCode On_kNullMsg(void*) { return AcRx::kRetOK; }
    virtual void RegisterServerComponents() = 0;

    // Sends a message code to its handler; codes outside 0 to 15 are answered
    // with kRetOK and reach no handler.
    AcRx::AppRetCode dispatch(int code, void* pkt)
    {
        switch (code) {
        case 0: return On_kNullMsg(pkt);
        case 1: return On_kInitAppMsg(pkt);
        case 2: return On_kUnloadAppMsg(pkt);
        case 3: return On_kLoadDwgMsg(pkt);
        case 4: return On_kUnloadDwgMsg(pkt);
        case 5: return On_kInvkSubrMsg(pkt);
        case 6: return On_kCfgMsg(pkt);
        case 7: return On_kEndMsg(pkt);
        case 8: return On_kQuitMsg(pkt);
        case 9: return On_kSaveMsg(pkt);
        case 10: return On_kDependencyMsg(pkt);
        case 11: return On_kNoDependencyMsg(pkt);
        case 12: return On_kOleUnloadAppMsg(pkt);
        case 13: return On_kPreQuitMsg(pkt);
        case 14: return On_kInitDialogMsg(pkt);
        case 15: return On_kEndDialogMsg(pkt);
        default: return AcRx::kRetOK;
        }
    }

    // Set by the library's attach step, before any message arrives.
    static void*& moduleInstance()
    {
        static void* instance = nullptr;
        return instance;
    }

protected:
    AcRx::AppRetCode baseInit(void* pkt)
    {
        m_hdllInstance = moduleInstance();
        if (m_bUnlocked)
            if (auto* linker = AcRxDynamicLinker::cast(acrxSysRegistryAt(u"DynamicLinker")))
                linker->unlockApplication(pkt);
        if (m_bMDIAware)
            if (auto* linker = AcRxDynamicLinker::cast(acrxSysRegistryAt(u"DynamicLinker")))
                linker->registerAppMDIAware(pkt);
        RegisterServerComponents();
        // This plug-in defines no runtime classes, so none are registered and
        // the host's class tree is not rebuilt.
        return AcRx::kRetOK;
    }
    AcRx::AppRetCode baseUnload(void*) { return AcRx::kRetOK; }

    void* m_hdllInstance = nullptr;
    bool m_bUnlocked = true;
    bool m_bMDIAware = true;
};
