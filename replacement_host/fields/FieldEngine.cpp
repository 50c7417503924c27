// The field engine: evaluator loaders, field reactors, and the evaluation
// pass over a drawing's fields.
#include "host/AcFdEval.h"
#include "host/dbapserv.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/fields/FieldProgress.h"
#include "replacement_host/fields/FieldEngineState.h"
#include "replacement_host/fields/HostEvaluators.h"

#include <algorithm>
#include <vector>

ACRX_DEFINE_MEMBERS(AcFdFieldResult, AcRxObject)
ACRX_DEFINE_MEMBERS(AcFdFieldEvaluator, AcRxObject)
ACRX_DEFINE_MEMBERS(AcFdFieldEvaluatorLoader, AcRxObject)
ACRX_DEFINE_MEMBERS(AcFdFieldReactor, AcRxObject)
ACRX_DEFINE_MEMBERS(AcFdFieldEngine, AcRxObject)

const ACHAR* AcFdFieldEvaluator::evaluatorId(AcDbField*) { return evaluatorId(); }
const ACHAR* AcFdFieldEvaluator::evaluatorId() const { return nullptr; }
Acad::ErrorStatus AcFdFieldEvaluator::initialize(AcDbField*) { return Acad::eOk; }
Acad::ErrorStatus AcFdFieldEvaluator::compile(AcDbField*, AcDbDatabase*, AcFdFieldResult*) { return Acad::eOk; }
Acad::ErrorStatus AcFdFieldEvaluator::evaluate(AcDbField*, int, AcDbDatabase*, AcFdFieldResult*)
{
    return Acad::eNotImplementedYet;
}
Acad::ErrorStatus AcFdFieldEvaluator::format(AcDbField*, AcString&) { return Acad::eNotImplementedYet; }

AcFdFieldEvaluator* AcFdFieldEvaluatorLoader::getEvaluator(const ACHAR*) { return nullptr; }
AcFdFieldEvaluator* AcFdFieldEvaluatorLoader::findEvaluator(AcDbField*, const ACHAR*&) { return nullptr; }

Acad::ErrorStatus AcFdFieldReactor::beginEvaluateFields(int, AcDbDatabase*) { return Acad::eOk; }
Acad::ErrorStatus AcFdFieldReactor::endEvaluateFields(int, AcDbDatabase*) { return Acad::eOk; }

namespace {
std::vector<AcFdFieldEvaluatorLoader*>& loaders()
{
    static std::vector<AcFdFieldEvaluatorLoader*> list;
    return list;
}
std::vector<AcFdFieldReactor*>& reactors()
{
    static std::vector<AcFdFieldReactor*> list;
    return list;
}
}

const std::vector<AcFdFieldReactor*>& hostFieldReactors() { return reactors(); }

AcFdFieldEngine* acdbGetFieldEngine()
{
    static AcFdFieldEngine engine;
    return &engine;
}

Acad::ErrorStatus acdbAddFieldReactor(AcFdFieldReactor* reactor)
{
    if (!reactor)
        return Acad::eInvalidInput;
    auto& list = reactors();
    if (std::find(list.begin(), list.end(), reactor) != list.end())
        return Acad::eDuplicateKey;
    list.push_back(reactor);
    return Acad::eOk;
}

Acad::ErrorStatus acdbRemoveFieldReactor(AcFdFieldReactor* reactor)
{
    auto& list = reactors();
    auto it = std::find(list.begin(), list.end(), reactor);
    if (it == list.end())
        return Acad::eKeyNotFound;
    list.erase(it);
    return Acad::eOk;
}

Acad::ErrorStatus AcFdFieldEngine::registerEvaluatorLoader(AcFdFieldEvaluatorLoader* loader)
{
    if (!loader)
        return Acad::eInvalidInput;
    auto& list = loaders();
    if (std::find(list.begin(), list.end(), loader) != list.end())
        return Acad::eDuplicateKey;
    list.push_back(loader);
    return Acad::eOk;
}

Acad::ErrorStatus AcFdFieldEngine::unregisterEvaluatorLoader(AcFdFieldEvaluatorLoader* loader)
{
    auto& list = loaders();
    auto it = std::find(list.begin(), list.end(), loader);
    if (it == list.end())
        return Acad::eKeyNotFound;
    list.erase(it);
    return Acad::eOk;
}

int AcFdFieldEngine::evaluatorLoaderCount() const { return static_cast<int>(loaders().size()); }

AcFdFieldEvaluatorLoader* AcFdFieldEngine::getEvaluatorLoader(int index) const
{
    if (index < 0 || index >= evaluatorLoaderCount())
        return nullptr;
    return loaders()[static_cast<size_t>(index)];
}

AcFdFieldEvaluator* AcFdFieldEngine::findEvaluator(AcDbField* field, const ACHAR*& evaluatorId) const
{
    if (!evaluatorId)
        return nullptr;
    auto& list = loaders();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (AcFdFieldEvaluator* evaluator = (*it)->findEvaluator(field, evaluatorId))
            return evaluator;
    return hostEvaluatorLoader()->findEvaluator(field, evaluatorId);
}

Acad::ErrorStatus AcFdFieldEngine::evaluateFields(int context, AcDbDatabase* database, int* numFound, int* numEvaluated)
{
    if (!database)
        database = acdbHostApplicationServices()->workingDatabase();
    if (!database)
        return Acad::eInvalidInput;
    // Top-level fields only: a nested field is evaluated by the field holding it.
    std::vector<AcDbObjectId> ids;
    for (AcDbObjectId id : HostAccess::hostFieldsAndTexts(*database)) {
        auto* field = AcDbField::cast(HostAccess::objectAt(*database, id));
        if (field && !field->isErased() && !AcDbField::cast(HostAccess::objectAt(*database, field->ownerId())))
            ids.push_back(id);
    }
    return evaluateFields(context, database, ids, numFound, numEvaluated);
}

Acad::ErrorStatus AcFdFieldEngine::evaluateFields(int context, AcDbDatabase* database,
                                                  const std::vector<AcDbObjectId>& fieldIds, int* numFound,
                                                  int* numEvaluated)
{
    // A reactor may detach itself or others while being called: walk a copy.
    std::vector<AcFdFieldReactor*> bracket = reactors();
    for (AcFdFieldReactor* r : bracket)
        r->beginEvaluateFields(context, database);
    int found = 0, evaluated = 0;
    size_t done = 0;
    for (AcDbObjectId id : fieldIds) {
        fieldprogress::report(done++, fieldIds.size());
        auto* field = AcDbField::cast(database ? HostAccess::objectAt(*database, id) : nullptr);
        if (!field)
            continue;
        int f = 0, e = 0;
        field->evaluate(context, database, &f, &e);
        found += f;
        evaluated += e;
    }
    fieldprogress::report(done, fieldIds.size());
    for (AcFdFieldReactor* r : bracket)
        r->endEvaluateFields(context, database);
    if (numFound)
        *numFound = found;
    if (numEvaluated)
        *numEvaluated = evaluated;
    return Acad::eOk;
}

namespace {
// The callback the command set for each kind of progress; none: not reported.
template <int Kind> fieldprogress::Callback& progressCallback()
{
    static fieldprogress::Callback callback;
    return callback;
}
template <int Kind> void reportProgress(size_t done, size_t total)
{
    if (const auto& callback = progressCallback<Kind>())
        callback(done, total);
}
}

namespace fieldprogress {
void set(Callback callback) { progressCallback<0>() = std::move(callback); }
void report(size_t done, size_t total) { reportProgress<0>(done, total); }
}

namespace readprogress {
void set(Callback callback) { progressCallback<1>() = std::move(callback); }
void report(size_t done, size_t total) { reportProgress<1>(done, total); }
}
