// AsdkLengthEvaluator: the "AcLength" field, the summed length of the objects a handle list names. Runs in
// the shared evaluator frame; its own computation is private to its file.
#pragma once

#include "host/AcFdEval.h"

class AsdkLengthEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"AcLength";
    static constexpr const ACHAR* kDataKey = u"AcLength Data";

    ~AsdkLengthEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
