// The plug-in's entry points, the names the host calls: it sends application
// messages to acrxEntryPoint and asks acrxGetApiVersion which host release
// the module was built for. The one application object lives here, built
// when the library loads and destroyed when it unloads. The exports for our
// own tools are in ToolExports.cpp, built only with TESSLY_TOOL_EXPORTS.
#include "app/CTesslyEvalApp.h"
#include "plugin/TesslyExports.h"

namespace {
CTesslyEvalApp theApp;

// The library's attach step: record where it was loaded before any message.
struct ModuleAttach {
    ModuleAttach() { AcRxDbxApp::moduleInstance() = &theApp; }
} attach;
}

TESSLY_PLUGIN_EXPORT int acrxEntryPoint(int msg, void* pkt)
{
    if (msg < 0 || msg > 15)
        return AcRx::kRetOK;
    return theApp.dispatch(msg, pkt);
}

TESSLY_PLUGIN_EXPORT int acrxGetApiVersion() { return 0x130000; }

// The application object, for the tool exports.
CTesslyEvalApp& tesslyApplication() { return theApp; }
