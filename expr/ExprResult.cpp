// Result conversion; see the header.
#include "expr/ExprResult.h"

#include "expr/CExpression.h"
#include "util/WideCrt.h"

#include <cmath>

namespace exprresult {

void convertResult(const std::u16string& text, AcValue& value)
{
    if (!CExpression::IsNumber(text)) {
        value.set(text.c_str());
        return;
    }
    int i = crt::wtoi(text);
    double d = crt::wcstod(text);
    if (std::fabs(d - i) <= kTolerance)
        value.set(static_cast<Adesk::Int32>(i));
    else
        value.set(d);
}

}
