// AsdkTextFileEvaluator: the "TextField" field, the whole text of a file on disk. Runs in
// the shared evaluator frame; its own computation is private to its file.
#pragma once

#include "host/AcFdEval.h"

class AsdkTextFileEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"TextField";
    static constexpr const ACHAR* kDataKey = u"TextField Data";

    ~AsdkTextFileEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
