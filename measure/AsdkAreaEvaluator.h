// AsdkAreaEvaluator: the "AcArea" field, the summed area of the objects a handle list names, each as the
// object's own area query reports it. Runs in the shared evaluator frame; the three area operations each
// open one object for read with a class check and close it before they return.
#pragma once

#include "host/AcFdEval.h"

class AsdkAreaEvaluator : public AcFdFieldEvaluator {
public:
    static constexpr const ACHAR* kId = u"AcArea";
    static constexpr const ACHAR* kDataKey = u"AcArea Data";

    ~AsdkAreaEvaluator() override = default;
    Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result) override;
    Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result) override;
    // The id this evaluator answers to.
    virtual const ACHAR* evaluatorIdText() const { return kId; }

    // Each gives 0 for an object that does not open as its class.
    static double circleArea(AcDbObjectId id);
    static double arcArea(AcDbObjectId id);
    static double polylineArea(AcDbObjectId id);
};
