// The plug-in's exports for our own tools, not for the host: the tessly
// command tries an expression outside any field through
// tesslyEvaluateExpression, checks fields through tesslyCheckField and
// reports the module's build from tesslyModuleVersion, and the lifecycle tests look at the application
// object through tesslyTestApplication. Built only with TESSLY_TOOL_EXPORTS,
// so a plug-in built without them exports the host's entry points alone.
#include "app/CTesslyEvalApp.h"
#include "app/FieldCheck.h"
#include "expr/CExpression.h"
#include "expr/ExprResult.h"
#include "plugin/TesslyExports.h"

// For tests of the lifecycle: the application object as the host cannot see it.
TESSLY_PLUGIN_EXPORT CTesslyEvalApp* tesslyTestApplication() { return &tesslyApplication(); }

// Tries an expression as an expression field would evaluate it. Nothing
// thrown inside reaches the caller: a failure is reported as a result.
TESSLY_PLUGIN_EXPORT void tesslyEvaluateExpression(const char16_t* expression, int64_t tableId, TesslyExprSink sink,
                                                   void* context)
{
    if (!sink)
        return;
    TesslyExprResult out{};
    std::u16string text;
    AcValue value;
    try {
        CExpression expr(expression ? expression : u"");
        if (tableId != 0)
            expr.SetTableId(AcDbObjectId::fromOldId(tableId));
        out.ok = expr.Evaluate(text);
        exprresult::convertResult(text, value);
    } catch (...) {
        out.ok = 0;
        text = u"Unable to evaluate expression.";
        value.set(text.c_str());
    }
    out.text = text.c_str();
    out.textLength = text.size();
    out.type = value.dataType();
    value.get(out.integerValue);
    value.get(out.realValue);
    sink(&out, context);
}

// Lists what will make a field show something its author probably did not
// mean, by the evaluators' own rules; evaluates nothing but an expression.
TESSLY_PLUGIN_EXPORT void tesslyCheckField(int64_t fieldId, TesslyCheckSink sink, void* context)
{
    if (!sink)
        return;
    try {
        AcDbObjectPointer<AcDbField> field(AcDbObjectId::fromOldId(fieldId), AcDb::kForRead);
        if (!field)
            return;
        for (const std::u16string& finding : fieldcheck::checkField(field.object()))
            sink(finding.c_str(), finding.size(), context);
    } catch (...) {
        const std::u16string failure = u"the check of this field failed";
        sink(failure.c_str(), failure.size(), context);
    }
}

// The module's version and build, for tessly --version.
TESSLY_PLUGIN_EXPORT const char* tesslyModuleVersion() { return TESSLY_VERSION ", built " __DATE__ " " __TIME__; }
