// The evaluator registry; see the header.
#include "app/AsdkEvaluatorLoader.h"

#include "blockcount/AsdkBlockCountEvaluator.h"
#include "expr/AsdkExprEvaluator.h"
#include "external/AsdkExcelCellEvaluator.h"
#include "external/AsdkTextFileEvaluator.h"
#include "measure/AsdkAreaEvaluator.h"
#include "measure/AsdkLengthEvaluator.h"
#include "tablecell/AsdkTableCellEvaluator.h"
#include "util/TextCase.h"

namespace {
// The ids, in the order of the evaluator slots.
constexpr std::u16string_view kIds[AsdkEvaluatorLoader::kEvaluatorCount] = {
    AsdkLengthEvaluator::kId,    AsdkAreaEvaluator::kId,      AsdkBlockCountEvaluator::kId, AsdkTextFileEvaluator::kId,
    AsdkTableCellEvaluator::kId, AsdkExcelCellEvaluator::kId, AsdkExprEvaluator::kId,
};
}

AsdkEvaluatorLoader::AsdkEvaluatorLoader()
{
    m_evaluators[0] = new AsdkLengthEvaluator;
    m_evaluators[1] = new AsdkAreaEvaluator;
    m_evaluators[2] = new AsdkBlockCountEvaluator;
    m_evaluators[3] = new AsdkTextFileEvaluator;
    m_evaluators[4] = new AsdkTableCellEvaluator;
    m_evaluators[5] = new AsdkExcelCellEvaluator;
    m_evaluators[6] = new AsdkExprEvaluator;
}

AsdkEvaluatorLoader::~AsdkEvaluatorLoader()
{
    for (AcFdFieldEvaluator*& evaluator : m_evaluators) {
        delete evaluator;
        evaluator = nullptr;
    }
}

AcFdFieldEvaluator* AsdkEvaluatorLoader::lookup(const ACHAR* evaluatorId) const
{
    if (!evaluatorId)
        return nullptr;
    // Measured once: every field of every pass asks for its evaluator.
    const std::u16string_view id(evaluatorId);
    for (size_t i = 0; i < kEvaluatorCount; ++i)
        if (textcase::equalsIgnoreCase(id, kIds[i]))
            return m_evaluators[i];
    return nullptr;
}

AcFdFieldEvaluator* AsdkEvaluatorLoader::getEvaluator(const ACHAR* evaluatorId) { return lookup(evaluatorId); }

AcFdFieldEvaluator* AsdkEvaluatorLoader::findEvaluator(AcDbField*, const ACHAR*& evaluatorId)
{
    return lookup(evaluatorId);
}
