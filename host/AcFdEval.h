// The field framework: evaluators that compile and evaluate field codes, the
// loaders that hand evaluators out by id, the engine that holds the loaders,
// the result through which an evaluator reports, and the reactors that the
// engine calls around every evaluation pass.
#pragma once

#include "host/AcValue.h"
#include "host/dbfield.h"
#include "host/rxobject.h"

class AcFdFieldResult : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcFdFieldResult)
public:
    virtual Acad::ErrorStatus setFieldValue(const AcValue* value) = 0;
    virtual Acad::ErrorStatus setEvaluationStatus(int status, int errorCode = 0, const ACHAR* message = nullptr) = 0;
};

class AcFdFieldEvaluator : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcFdFieldEvaluator)
public:
    ~AcFdFieldEvaluator() override = default;
    virtual const ACHAR* evaluatorId(AcDbField* field);
    virtual const ACHAR* evaluatorId() const;
    virtual Acad::ErrorStatus initialize(AcDbField* field);
    virtual Acad::ErrorStatus compile(AcDbField* field, AcDbDatabase* database, AcFdFieldResult* result);
    virtual Acad::ErrorStatus evaluate(AcDbField* field, int context, AcDbDatabase* database, AcFdFieldResult* result);
    virtual Acad::ErrorStatus format(AcDbField* field, AcString& valueText);
};

class AcFdFieldEvaluatorLoader : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcFdFieldEvaluatorLoader)
public:
    ~AcFdFieldEvaluatorLoader() override = default;
    virtual AcFdFieldEvaluator* getEvaluator(const ACHAR* evaluatorId);
    virtual AcFdFieldEvaluator* findEvaluator(AcDbField* field, const ACHAR*& evaluatorId);
};

class AcFdFieldReactor : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcFdFieldReactor)
public:
    ~AcFdFieldReactor() override = default;
    virtual Acad::ErrorStatus beginEvaluateFields(int context, AcDbDatabase* database);
    virtual Acad::ErrorStatus endEvaluateFields(int context, AcDbDatabase* database);
};

class AcFdFieldEngine : public AcRxObject {
    ACRX_DECLARE_MEMBERS(AcFdFieldEngine)
public:
    Acad::ErrorStatus registerEvaluatorLoader(AcFdFieldEvaluatorLoader* loader);
    Acad::ErrorStatus unregisterEvaluatorLoader(AcFdFieldEvaluatorLoader* loader);
    int evaluatorLoaderCount() const;
    AcFdFieldEvaluatorLoader* getEvaluatorLoader(int index) const;
    // Asks the loaders, newest first, and gives the first evaluator found.
    AcFdFieldEvaluator* findEvaluator(AcDbField* field, const ACHAR*& evaluatorId) const;

    // Evaluates every field of the database in one pass, nested fields
    // before the fields that hold them, between the reactors' begin and end.
    Acad::ErrorStatus evaluateFields(int context, AcDbDatabase* database, int* numFound = nullptr,
                                     int* numEvaluated = nullptr);
    // One pass over the given fields only.
    Acad::ErrorStatus evaluateFields(int context, AcDbDatabase* database, const std::vector<AcDbObjectId>& fieldIds,
                                     int* numFound = nullptr, int* numEvaluated = nullptr);
};

AcFdFieldEngine* acdbGetFieldEngine();
Acad::ErrorStatus acdbAddFieldReactor(AcFdFieldReactor* reactor);
Acad::ErrorStatus acdbRemoveFieldReactor(AcFdFieldReactor* reactor);
