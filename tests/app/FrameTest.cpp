// The frame every evaluator shares: what compile stores, and what evaluate
// reports when the data is missing or of the wrong type. Run against the
// evaluators of the loaded module, through the field engine.
#include "host/AcFdEval.h"
#include "replacement_host/HostAccess.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

namespace {

using testhost::RecordingResult;

const char16_t* const kIds[] = {u"AcLength",  u"AcArea",    u"AcBlockCount", u"TextField",
                                u"TableCell", u"ExcelCell", u"TsExpr"};

AcFdFieldEvaluator* evaluatorFor(const char16_t* id)
{
    testhost::module();
    const ACHAR* asked = id;
    return acdbGetFieldEngine()->findEvaluator(nullptr, asked);
}

std::u16string key(const char16_t* id) { return std::u16string(id) + u" Data"; }

TEST(Frame, CompileStoresTheParameterTextUnderTheKey)
{
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        AcDbField field((u"%<\\" + std::u16string(id) + u" Object(<1A>) \\f \"%lu2\">%").c_str());
        RecordingResult result;
        EXPECT_EQ(evaluatorFor(id)->compile(&field, nullptr, &result), Acad::eOk);
        AcValue data;
        ASSERT_EQ(field.getData(key(id).c_str(), &data), Acad::eOk);
        AcString text;
        ASSERT_TRUE(data.get(text));
        EXPECT_EQ(text, u"Object(<1A>)") << "exactly the code, format option stripped";
        EXPECT_EQ(result.status, -1) << "compile sets no status on success";
    }
}

TEST(Frame, EmptyCodeIsRefusedAndStoresNothing)
{
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        AcDbField field((u"%<\\" + std::u16string(id) + u">%").c_str());
        RecordingResult result;
        EXPECT_EQ(evaluatorFor(id)->compile(&field, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(result.status, 16);
        EXPECT_TRUE(HostAccess::allData(field).empty());
    }
}

TEST(Frame, NullFieldIsInvalidInputWithoutStatus)
{
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        RecordingResult result;
        EXPECT_EQ(evaluatorFor(id)->compile(nullptr, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(evaluatorFor(id)->evaluate(nullptr, 0, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(result.status, -1);
    }
}

TEST(Frame, NeverCompiledFieldGives64AndNoValue)
{
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        AcDbField field((u"%<\\" + std::u16string(id) + u" x>%").c_str());
        RecordingResult result;
        EXPECT_EQ(evaluatorFor(id)->evaluate(&field, 0, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(result.status, 64);
        EXPECT_FALSE(result.valueSet);
    }
}

TEST(Frame, DataThatIsNotTextGives16)
{
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        AcDbField field((u"%<\\" + std::u16string(id) + u" x>%").c_str());
        AcValue number;
        number.set(Adesk::Int32(5));
        field.setData(key(id).c_str(), &number);
        RecordingResult result;
        EXPECT_EQ(evaluatorFor(id)->evaluate(&field, 0, nullptr, &result), Acad::eInvalidInput);
        EXPECT_EQ(result.status, 16);
        EXPECT_FALSE(result.valueSet);
    }
}

TEST(Frame, FieldsOfTheSevenIdsCompileInAPass)
{
    testhost::Drawing drawing;
    for (const char16_t* id : kIds) {
        SCOPED_TRACE(testhost::u8(id));
        AcDbObjectId fieldId = drawing.addField(u"%<\\" + std::u16string(id) + u" anything>%");
        drawing.evaluate();
        auto* field = AcDbField::cast(HostAccess::objectAt(drawing.database(), fieldId));
        EXPECT_EQ(HostAccess::passRecord(*field).compileReturned, 0);
        AcValue data;
        EXPECT_EQ(field->getData(key(id).c_str(), &data), Acad::eOk);
        EXPECT_EQ(drawing.result(fieldId).evaluator, testhost::u8(id));
    }
}

}
