// CTesslyEvalApp: the module's one application object. It owns the
// evaluator loader and the field reactor; on the initialise message it
// registers both with the host, on the unload message it withdraws them.
#pragma once

#include "app/AsdkEvaluatorLoader.h"
#include "app/AsdkFieldReactor.h"
#include "host/rxdbxapp.h"

class CTesslyEvalApp : public AcRxDbxApp {
public:
    AcRx::AppRetCode On_kInitAppMsg(void* pkt) override;
    AcRx::AppRetCode On_kUnloadAppMsg(void* pkt) override;
    void RegisterServerComponents() override {}

    AsdkEvaluatorLoader& loader() { return m_loader; }
    AsdkFieldReactor& reactor() { return m_reactor; }
    int loaderRegistered() const { return m_loaderRegistered; }

private:
    AsdkEvaluatorLoader m_loader;
    AsdkFieldReactor m_reactor;
    int m_loaderRegistered = 0;
};

// The plug-in's one application object, built when the library loads.
CTesslyEvalApp& tesslyApplication();
