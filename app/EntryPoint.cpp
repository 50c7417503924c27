// The plug-in's entry points, the only names it exports: the host sends
// application messages to acrxEntryPoint and asks acrxGetApiVersion which
// host release the module was built for. The one application object lives
// here, built when the library loads and destroyed when it unloads.
#include "app/CTesslyEvalApp.h"

namespace {
CTesslyEvalApp theApp;

// The library's attach step: record where it was loaded before any message.
struct ModuleAttach {
    ModuleAttach() { AcRxDbxApp::moduleInstance() = &theApp; }
} attach;
}

#define TESSLY_EXPORT extern "C" __attribute__((visibility("default")))

TESSLY_EXPORT int acrxEntryPoint(int msg, void* pkt)
{
    if (msg < 0 || msg > 15)
        return AcRx::kRetOK;
    return theApp.dispatch(msg, pkt);
}

TESSLY_EXPORT int acrxGetApiVersion() { return 0x130000; }

// For tests of the lifecycle: the application object as the host cannot see it.
TESSLY_EXPORT CTesslyEvalApp* tesslyTestApplication() { return &theApp; }
