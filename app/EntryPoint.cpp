// The plug-in's entry points, the only names it exports: the host sends
// application messages to acrxEntryPoint and asks acrxGetApiVersion which
// host release the module was built for. The one application object lives
// here, built when the library loads and destroyed when it unloads.
#include "app/CTesslyEvalApp.h"
#include "app/FieldCheck.h"
#include "app/TesslyExports.h"
#include "expr/CExpression.h"
#include "expr/ExprResult.h"

namespace {
CTesslyEvalApp theApp;

// The library's attach step: record where it was loaded before any message.
struct ModuleAttach {
    ModuleAttach() { AcRxDbxApp::moduleInstance() = &theApp; }
} attach;
}

#define TESSLY_EXPORT extern "C" __attribute__((visibility("default")))

TESSLY_EXPORT int acrxEntryPoint(int msg, void* pkt)
{
    if (msg < 0 || msg > 15)
        return AcRx::kRetOK;
    return theApp.dispatch(msg, pkt);
}

TESSLY_EXPORT int acrxGetApiVersion() { return 0x130000; }

// For tests of the lifecycle: the application object as the host cannot see it.
TESSLY_EXPORT CTesslyEvalApp* tesslyTestApplication() { return &theApp; }

// Tries an expression as an expression field would evaluate it. Nothing
// thrown inside reaches the caller: a failure is reported as a result.
TESSLY_EXPORT void tesslyEvaluateExpression(const char16_t* expression, int64_t tableId, TesslyExprSink sink,
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
TESSLY_EXPORT void tesslyCheckField(int64_t fieldId, TesslyCheckSink sink, void* context)
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
TESSLY_EXPORT const char* tesslyModuleVersion() { return TESSLY_VERSION ", built " __DATE__ " " __TIME__; }
