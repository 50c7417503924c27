// Test support: a drawing made from JSON text as the working drawing, the
// module loaded as the host loads it, and one evaluation pass whose results
// are read back per field. Also runs the tessly command.
#pragma once

#include "command/ModuleLoader.h"
#include "host/AcFdEval.h"
#include "host/dbfield.h"

#include <memory>
#include <string>
#include <vector>

namespace testhost {

// The module, loaded and initialised once for the test program.
ModuleLoader& module();

// Records what an evaluator reports when it is called directly.
class RecordingResult : public AcFdFieldResult {
public:
    Acad::ErrorStatus setFieldValue(const AcValue* v) override
    {
        valueSet = true;
        if (v)
            value = *v;
        return Acad::eOk;
    }
    Acad::ErrorStatus setEvaluationStatus(int s, int, const ACHAR*) override
    {
        status = s;
        return Acad::eOk;
    }
    bool valueSet = false;
    AcValue value;
    int status = -1;
};

// What a field shows after a pass.
struct FieldResult {
    std::string evaluator;  // empty when no evaluator answered
    int status = 0;
    AcValue value;
    std::u16string display;
};

class Drawing {
public:
    // objectsJson: the text of the "objects" array, e.g. R"([{"type": "line", ...}])".
    explicit Drawing(const std::string& objectsJson = "[]", const std::string& selected = {});
    ~Drawing();
    Drawing(const Drawing&) = delete;
    Drawing& operator=(const Drawing&) = delete;

    AcDbDatabase& database() { return *m_db; }
    // Adds a text in model space holding one field with this code.
    AcDbObjectId addField(const std::u16string& code);
    // One pass over the fields added, or over all when none was added.
    void evaluate();
    FieldResult result(AcDbObjectId fieldId) const;
    // Adds the code, runs a pass over it alone and gives its result.
    FieldResult evaluateCode(const std::u16string& code);
    AcDbObjectId idOf(const std::string& handle) const;

private:
    std::unique_ptr<AcDbDatabase> m_db;
    std::vector<AcDbObjectId> m_added;
};

// Runs tessly with the arguments (shell words already quoted) and gives stdout.
struct CommandResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};
CommandResult runTessly(const std::string& arguments, const std::string& stdinText = {});
std::string shellQuote(const std::string& word);

std::string u8(const std::u16string& s);
std::u16string u16(const std::string& s);

}
