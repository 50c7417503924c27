// AsdkFieldReactor: brackets every field evaluation pass. At the start the
// spreadsheet session begins clean and the pass flag is set; at the end the
// flag is cleared and the session quit.
#pragma once

#include "host/AcFdEval.h"

class AsdkFieldReactor : public AcFdFieldReactor {
public:
    ~AsdkFieldReactor() override = default;
    Acad::ErrorStatus beginEvaluateFields(int context, AcDbDatabase* database) override;
    Acad::ErrorStatus endEvaluateFields(int context, AcDbDatabase* database) override;
};
