// AsdkBlockCountEvaluator: the "AcBlockCount" field, the number of block references that match names and filters. Runs in
// the shared evaluator frame; its own computation is private to its file.
#pragma once

#include "host/AcFdEval.h"

class AsdkBlockCountEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"AcBlockCount";
    static constexpr const ACHAR* kDataKey = u"AcBlockCount Data";

    ~AsdkBlockCountEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
