// The plug-in's exports for our own tools, not for the host: the tessly
// command tries an expression outside any field through
// tesslyEvaluateExpression, and the lifecycle tests look at the application
// object through tesslyTestApplication. Built only with TESSLY_TOOL_EXPORTS,
// so a plug-in built without them exports the host's entry points alone.
#include "app/CTesslyEvalApp.h"
#include "expr/CExpression.h"
#include "expr/ExprResult.h"
#include "plugin/TesslyExports.h"

// For tests of the lifecycle: the application object as the host cannot see it.
TESSLY_PLUGIN_EXPORT CTesslyEvalApp* tesslyTestApplication() { return &tesslyApplication(); }

// Tries an expression as an expression field would evaluate it. Nothing
// thrown inside reaches the caller: a failure is reported as a result.
TESSLY_PLUGIN_EXPORT void tesslyEvaluateExpression(const char16_t* expression, int64_t tableId,
                                                   TesslyExprSink sink, void* context)
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
