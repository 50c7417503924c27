// The application object; see the header. The host's answers to adding and
// removing the loader and reactor are not examined: there is nothing the
// module could do about a refusal.
#include "app/CTesslyEvalApp.h"

AcRx::AppRetCode CTesslyEvalApp::On_kInitAppMsg(void* pkt)
{
    AcRxDbxApp::On_kInitAppMsg(pkt);
    if (AcFdFieldEngine* engine = acdbGetFieldEngine())
        engine->registerEvaluatorLoader(&m_loader);
    acdbAddFieldReactor(&m_reactor);
    m_loaderRegistered = 1;
    return AcRx::kRetOK;
}

AcRx::AppRetCode CTesslyEvalApp::On_kUnloadAppMsg(void* pkt)
{
    AcRxDbxApp::On_kUnloadAppMsg(pkt);
    if (m_loaderRegistered) {
        if (AcFdFieldEngine* engine = acdbGetFieldEngine())
            engine->unregisterEvaluatorLoader(&m_loader);
        acdbRemoveFieldReactor(&m_reactor);
    }
    return AcRx::kRetOK;
}
