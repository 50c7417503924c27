// AsdkExprEvaluator: the "TsExpr" field, the result of a one-line expression. Runs in
// the shared evaluator frame; its own computation is private to its file.
#pragma once

#include "host/AcFdEval.h"

class AsdkExprEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"TsExpr";
    static constexpr const ACHAR* kDataKey = u"TsExpr Data";
    // The field's expression evaluated as the field evaluates it: true with
    // the result, false with the error message.
    static bool run(AcDbField* field, const AcString& text, std::u16string& result);

    ~AsdkExprEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }
};
