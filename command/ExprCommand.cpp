// tessly expr: tries expressions of the expression language outside any
// field, through the loaded module, and prints each result.
#include "plugin/TesslyExports.h"
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/Output.h"
#include "command/Session.h"
#include "host/dbfield.h"
#include "replacement_host/fields/ValueDisplay.h"
#include "replacement_host/file/JsonIn.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

const char* const kExprHelp =
    R"(usage: tessly expr EXPRESSION [--drawing FILE] [--table HANDLE] [--json] [--module PATH]

Evaluates an expression as an expression ("TsExpr") field would and prints
the value as the field would show it. With EXPRESSION "-", reads one
expression per line from standard input.

  --drawing FILE  the drawing whose tables cell references read (JSON or
                  ASCII DXF)
  --table HANDLE  the table that bare references (B3, A1:A4) address
  --json          print {"ok", "text", "type", "value"}: whether the
                  evaluation succeeded, its result text exactly (markers
                  included; a failure's text is the message), and the value
                  the field would hold ("integer", "real" or "text")
  --module PATH   the module to load (default: TesslyEval.so next to tessly)

Field codes in the expression (%<\AcArea Object(<38>)>%) are evaluated
first and stand as their values, as in an expression field. "--" ends the
options, so an expression may start with "-".

exit status: 0 every expression evaluated, 1 one gave an error message,
2 a usage or file error.

examples:
  tessly expr 'ROUND(1234.5678, -2)'
  tessly expr 'SUM(A1:A3)*1.2' --drawing plan.json --table 2F1 --json
  tessly expr 'SUM(B2:B3)' --drawing examples/site-plan.json --table F00
  tessly expr 'ROUND(%<\AcArea Object(<38>)>%/10000, 3)' --drawing examples/site-plan.json
  tessly expr -- '-1+2'
  tessly expr '2^10' --module build/bin/TesslyEval.so
)";

namespace {

using Json = nlohmann::ordered_json;

struct Outcome {
    bool ok = false;
    std::u16string text;
    AcValue value;
};

void collect(const TesslyExprResult* r, void* context)
{
    auto* out = static_cast<Outcome*>(context);
    out->ok = r->ok != 0;
    out->text.assign(r->text, r->textLength);
    if (r->type == AcValue::kLong)
        out->value.set(static_cast<Adesk::Int32>(r->integerValue));
    else if (r->type == AcValue::kDouble)
        out->value.set(r->realValue);
    else
        out->value.set(out->text.c_str());
}

Json outcomeJson(const Outcome& o)
{
    Json j;
    j["ok"] = o.ok;
    j["text"] = utf::toUtf8(o.text);
    Adesk::Int32 i = 0;
    double d = 0;
    AcString s;
    if (o.value.get(i)) {
        j["type"] = "integer";
        j["value"] = i;
    } else if (o.value.get(d)) {
        j["type"] = "real";
        j["value"] = d;
    } else {
        o.value.get(s);
        j["type"] = "text";
        j["value"] = utf::toUtf8(s);
    }
    return j;
}

// Nested field codes are evaluated first and stand as their values, as in
// an expression field.
std::u16string withNestedValues(Session& session, const std::u16string& expression)
{
    if (expression.find(u"%<") == std::u16string::npos)
        return expression;
    auto* field = new AcDbField((u"%<\\TsExpr " + expression + u">%").c_str());
    AcDbObjectId id;
    if (field->isTextField() || session.database().addObject(field, AcDbObjectId(), id) != Acad::eOk) {
        delete field;
        return expression;
    }
    std::vector<AcDbObjectId> children;
    for (const AcDbField* child : field->children())
        children.push_back(child->objectId());
    session.evaluate(children);
    return field->getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions);
}

}

int runExpr(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("expr", words, {"--json", "--help", "-h"}, {"--drawing", "--table", "--module"});
    if (args.has("--help") || args.has("-h")) {
        output::write(kExprHelp);
        return 0;
    }
    if (args.positional.size() != 1)
        throw UsageError(
            "tessly expr: give one expression (or - to read expressions from standard input); see tessly expr --help");
    std::vector<std::string> expressions = inputsOf(args.positional[0]);

    Session session(args.value("--drawing"), args.value("--module"));
    int64_t tableId = 0;
    if (args.has("--table")) {
        AcDbHandle handle;
        AcDbObjectId id;
        std::string text = args.value("--table");
        if (!drawingfile::parseHandle(text, handle) ||
            session.database().getAcDbObjectId(id, false, handle) != Acad::eOk)
            throw UsageError("--table " + text + ": no object of the drawing has this handle");
        tableId = id.asOldId();
    }
    session.loadModule();
    auto evaluate = reinterpret_cast<TesslyEvaluateExpressionFn>(session.moduleSymbol("tesslyEvaluateExpression"));
    if (!evaluate)
        throw UsageError("the module does not export tesslyEvaluateExpression; it cannot try expressions");

    int status = 0;
    for (const std::string& expression : expressions) {
        Outcome outcome;
        std::u16string text = withNestedValues(session, utf::toUtf16(expression));
        evaluate(text.c_str(), tableId, collect, &outcome);
        status = std::max(status, outcome.ok ? 0 : 1);
        if (args.has("--json"))
            output::line(outcomeJson(outcome).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        else
            output::line(utf::toUtf8(valuedisplay::format(outcome.value, u"")));
        output::itemDone();
    }
    return status;
}
