// AsdkEvaluatorLoader: creates the module's seven evaluators when it is
// built, hands them to the field engine by id (letter case ignored), and
// destroys them when it is destroyed.
#pragma once

#include "host/AcFdEval.h"

#include <array>

class AsdkEvaluatorLoader : public AcFdFieldEvaluatorLoader {
public:
    static constexpr size_t kEvaluatorCount = 7;

    AsdkEvaluatorLoader();
    ~AsdkEvaluatorLoader() override;
    AsdkEvaluatorLoader(const AsdkEvaluatorLoader&) = delete;
    AsdkEvaluatorLoader& operator=(const AsdkEvaluatorLoader&) = delete;

    AcFdFieldEvaluator* getEvaluator(const ACHAR* evaluatorId) override;
    AcFdFieldEvaluator* findEvaluator(AcDbField* field, const ACHAR*& evaluatorId) override;

private:
    AcFdFieldEvaluator* lookup(const ACHAR* evaluatorId) const;
    // In table order: length, area, block count, text file, table cell,
    // spreadsheet cell, expression.
    std::array<AcFdFieldEvaluator*, kEvaluatorCount> m_evaluators{};
};
