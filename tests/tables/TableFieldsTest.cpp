// Drawing tables through the real field engine: cell references and ranges
// of expression fields, the table that bare references address, nested
// field codes, and the table cell field.
#include "host/AcFdEval.h"
#include "host/dbtable.h"
#include "replacement_host/HostAccess.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

namespace {

using testhost::Drawing;
using testhost::u8;

// Table 2F1, 4 rows x 3 columns:   A     B     C
//                             1    1     2     x
//                             2    3     4
//                             3    5     a2
//                             4                (the expression, in C4)
const std::string kTable = R"({"type": "table", "handle": "2F1", "rows": 4, "columns": 3, "cells": [
    {"row": 0, "column": 0, "text": "1"}, {"row": 0, "column": 1, "text": "2"}, {"row": 0, "column": 2, "text": "x"},
    {"row": 1, "column": 0, "text": "3"}, {"row": 1, "column": 1, "text": "4"},
    {"row": 2, "column": 0, "text": "5"}, {"row": 2, "column": 1, "text": "a2"}%CELL%]})";
const std::string kLine = R"({"type": "text", "handle": "3A0", "text": "not a table"})";

std::string tableWithCell(const std::string& code)
{
    std::string cell = code.empty() ? "" : R"(, {"row": 3, "column": 2, "text": ")" + code + R"("})";
    std::string t = kTable;
    t.replace(t.find("%CELL%"), 6, cell);
    return t;
}

// The objects array of a drawing, built by appending: GCC 12 takes "[" + text
// for an overlapping copy in Release builds (-Wrestrict).
std::string objectsOf(std::initializer_list<std::string> objects)
{
    std::string list = "[";
    for (const std::string& object : objects)
        list.append(list.size() > 1 ? "," : "").append(object);
    return list.append("]");
}

// The value a field in cell C4 of the table shows.
std::string inCell(const std::string& expression)
{
    Drawing d(objectsOf({tableWithCell(std::string("%<\\\\TsExpr ").append(expression).append(">%")), kLine}));
    d.evaluate();
    auto* table = AcDbTable::cast(HostAccess::objectAt(d.database(), d.idOf("2F1")));
    return u8(table->textString(3, 2, AcDbTable::kIgnoreMtextFormat));
}

struct Row {
    const char* expression;
    const char* expected;
};

TEST(TableReferences, InACellOfTheTable)
{
    const Row rows[] = {
        {"A1+B1", "3"},
        {"b1*B2", "8"} /* letter case does not matter */,
        {"SUM(A1:B2)", "10"},
        {"SUM(B2:A1)", "10"} /* walked from the smaller row and column */,
        {"SUM(A1:A3, 4)", "13"},
        {"AVG(A1:A3)", "3"},
        {"MAX(A1:A100)", "5"} /* past the edge: only cells inside count */,
        {"AVG(A1:A100)", "3"} /* cells past the edge are not read as empty or zero */,
        {"AVG(A2:B100)", "3.7500"} /* B3 holds a2, followed: (3+4+5+3)/4 */,
        {"SUM(A2:Z2)", "7"},
        {"SUM(A1:Z1)", "SUM requires numaric operands only."},
        {"C9+1", "1"} /* a single cell past the edge is empty, so 0 */,
        {"B3", "a2"} /* a result is resolved once */,
        {"SUM(B2:B3)", "7"} /* a cell of a range that holds a reference is followed */,
        {"A1+A1", "2"} /* read once, used twice */,
        {"A1:B2:C3", "A1:B2:C3"},
        {":B2", ":B2"},
        {"2F1!B2*10", "40"},
        {"2f1!b2", "4"},
        {"999!B2", "999!B2"} /* no object has the handle: plain text */,
        {"3A0!B2", "3A0!B2"} /* not a table: plain text */,
        {"SUM(C1:C2)", "SUM requires numaric operands only."},
        {"ROUND(SUM(A1:A3)*1.2, 2)", "10.8000"} /* a real shows with the host's precision */,
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expression);
        std::string code = std::string(row.expression);
        // The field stands in the table's cell C4 through its text object.
        std::string got = inCell(code);
        EXPECT_EQ(got, row.expected);
    }
}

TEST(TableReferences, OwnerDecidesTheTable)
{
    Drawing d(objectsOf({tableWithCell(""), kLine}), "2F1");
    // Owned by a text in model space: no table, and the selection is not asked.
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\TsExpr B1+1>%").display), "Addition not supported for strings.");
    // No owner: the sibling library's selected table.
    auto* field = new AcDbField(u"%<\\TsExpr B1+1>%");
    AcDbObjectId id;
    d.database().addObject(field, AcDbObjectId(), id);
    acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, &d.database(), {id});
    EXPECT_EQ(u8(d.result(id).display), "3");
}

TEST(TableReferences, NoOwnerAndNoSelectionLeavesReferencesAsText)
{
    Drawing d(objectsOf({tableWithCell("")}));
    auto* field = new AcDbField(u"%<\\TsExpr B1>%");
    AcDbObjectId id;
    d.database().addObject(field, AcDbObjectId(), id);
    acdbGetFieldEngine()->evaluateFields(AcDbField::kDemand, &d.database(), {id});
    EXPECT_EQ(u8(d.result(id).display), "B1");
}

TEST(ExpressionField, ValueTypes)
{
    Drawing d;
    const struct {
        const char16_t* code;
        AcValue::DataType type;
        const char* display;
    } rows[] = {
        {u"%<\\TsExpr 3>%", AcValue::kLong, "3"},
        {u"%<\\TsExpr 3.5>%", AcValue::kDouble, "3.5000"},
        {u"%<\\TsExpr 2.000001>%", AcValue::kLong, "2"},
        {u"%<\\TsExpr -0.000001>%", AcValue::kLong, "0"},
        {u"%<\\TsExpr UCASE('1e+007')>%", AcValue::kString, "1E+007"},
        {u"%<\\TsExpr 3000000000>%", AcValue::kDouble, "3000000000.0000"},
        {u"%<\\TsExpr 1>0>%", AcValue::kString, "TRUE"},
        {u"%<\\TsExpr 1/0 \\f \"%pr2\">%", AcValue::kString, "INF"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(u8(row.code));
        auto r = d.evaluateCode(row.code);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.value.dataType(), row.type);
        EXPECT_EQ(u8(r.display), row.display);
    }
}

TEST(NestedFieldCodes, RewriteHandlesAndEvaluate)
{
    Drawing d(R"([{"type": "text", "handle": "3A0", "text": "Hello"}])");
    // \x1f keeps the host from taking the inner code as a nested field of its own.
    auto r = d.evaluateCode(
        u"%<\\TsExpr ACAD_FIELD('%\x1f<\\AcObjProp Object(%\x1f<\\_ObjHandle 3A0>\x1f%).TextString>\x1f%')>%");
    EXPECT_EQ(u8(r.display), "Hello");
    EXPECT_EQ(
        u8(d.evaluateCode(
                u"%<\\TsExpr ACAD_FIELD('%\x1f<\\AcObjProp Object(%\x1f<\\_ObjHandle 999>\x1f%).TextString>\x1f%')>%")
               .display),
        "####")
        << "a handle that names nothing is not rewritten, and the field fails";
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\TsExpr ACAD_FIELD('a\x1f' + 'b')>%").display),
              "Addition not supported for strings.");
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\TsExpr ACAD_FIELD('ab\x1f')>%").display), "ab") << "no code: the text itself";
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\TsExpr ACAD_FIELD('a\x1f')>%").display), "####") << "one character";
}

TEST(NestedFieldCodes, ACodeThatLeadsBackToItselfEnds)
{
    // The text's own contents hold the expression that reads them again.
    Drawing d(
        R"([{"type": "text", "handle": "3A0", "text": "%\u001f<\\TsExpr ACAD_FIELD(\"%\u001f<\\AcObjProp Object(%\u001f<\\_ObjHandle 3A0>\u001f%).TextString>\u001f%\")>\u001f%"}])");
    std::u16string code =
        u"%<\\TsExpr ACAD_FIELD('%\x1f<\\AcObjProp Object(%\x1f<\\_ObjHandle 3A0>\x1f%).TextString>\x1f%')>%";
    auto r = d.evaluateCode(code);
    EXPECT_EQ(r.status, 2) << "the field ends, whatever it shows";
}

struct CellRow {
    const char* code;
    int status;
    const char* value;
};

TEST(TableCellField, Statuses)
{
    Drawing d(objectsOf({tableWithCell(""), kLine}));
    const CellRow rows[] = {
        {"TABLE(<2F1>).$B$2", 2, "4"},
        {"table(2f1).$b$2", 2, "4"},
        {"TABLE(<<2F1>>).$A$1:$C$4", 2, "1"},
        {"xyz TABLE(2F1).$C$1", 2, "x"},
        {"TABLE(<2F1>).$A$99", 2, ""} /* outside the table: empty */,
        {"TABLE(<2F1>).$AA$10", 2, ""},
        {"TABLE(<2F1>).$A$0", 16, nullptr},
        {"TABLE(<2F1>).$A$", 16, nullptr},
        {"TABLE(<2F1>).B3", 16, nullptr},
        {"TABLE(<2F1>).$B3", 16, nullptr},
        {"TABLE(<2F1>).$AB3", 16, nullptr},
        {"TABLE(<2F1>).", 16, nullptr},
        {"TABLE(<3A0>).$A$1", 16, nullptr} /* not a table */,
        {"TABLE(<999>).$A$1", 16, nullptr},
        {"TABLE 2F1 A1", 16, nullptr},
    };
    for (const CellRow& row : rows) {
        SCOPED_TRACE(row.code);
        auto r = d.evaluateCode(u"%<\\TableCell " + testhost::u16(row.code) + u">%");
        EXPECT_EQ(r.status, row.status);
        if (row.value) {
            EXPECT_EQ(u8(r.display), row.value);
        }
    }
    EXPECT_EQ(HostAccess::openObjectCount(d.database()), 0) << "every table opened is closed";
}

TEST(TableCellField, TwoLetterColumns)
{
    // 10 rows x 28 columns: Z is column 25, AA 26, AB 27.
    Drawing d(R"([{"type": "table", "handle": "2F2", "rows": 10, "columns": 28, "cells": [
        {"row": 9, "column": 26, "text": "aa10"}, {"row": 9, "column": 27, "text": "ab10"},
        {"row": 1, "column": 26, "text": "aa2"}, {"row": 9, "column": 25, "text": "z10"},
        {"row": 9, "column": 0, "text": "a10"}]}])");
    const CellRow rows[] = {
        {"TABLE(<2F2>).$AA$10", 2, "aa10"}, {"TABLE(<2F2>).$AB$10", 2, "ab10"},
        {"TABLE(<2F2>).$AA$2", 2, "aa2"},   {"TABLE(<2F2>).$Z$10", 2, "z10"},
        {"TABLE(<2F2>).$A$10", 2, "a10"},   {"TABLE(<2F2>).$AC$10", 2, ""} /* past the last column */,
    };
    for (const CellRow& row : rows) {
        SCOPED_TRACE(row.code);
        auto r = d.evaluateCode(u"%<\\TableCell " + testhost::u16(row.code) + u">%");
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(u8(r.display), row.value);
    }
}

TEST(ObjectPropertyField, ReadsPropertiesById)
{
    Drawing d(R"([{"type": "text", "handle": "3A0", "layer": "NOTES", "text": "Hi"}])");
    std::u16string id = testhost::u16(std::to_string(d.idOf("3A0").asOldId()));
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\AcObjProp Object(%<\\_ObjId " + id + u">%).TextString>%").display), "Hi");
    EXPECT_EQ(u8(d.evaluateCode(u"%<\\AcObjProp Object(%<\\_ObjId " + id + u">%).layer>%").display), "NOTES");
    EXPECT_EQ(d.evaluateCode(u"%<\\AcObjProp Object(%<\\_ObjId " + id + u">%).Nothing>%").status, 16);
    EXPECT_EQ(d.evaluateCode(u"%<\\AcObjProp Object(%<\\_ObjHandle 3A0>%).TextString>%").status, 16);
}

}

namespace {

TEST(ObjectPropertyField, CurvesShowLengthAreaAndRadius)
{
    Drawing d(R"([{"type": "circle", "handle": "40", "center": [0, 0], "radius": 2},
                 {"type": "lwpolyline", "handle": "41", "vertices": [[0, 0], [10, 0], [10, 10], [0, 10]], "closed": true},
                 {"type": "line", "handle": "42", "start": [0, 0], "end": [3, 4]}])");
    const struct {
        const char* handle;
        const char16_t* property;
        const char* display;
    } rows[] = {
        {"40", u"Radius", "2.0000"},  {"40", u"Area", "12.5664"},  {"40", u"Length", "12.5664"},
        {"41", u"Length", "40.0000"}, {"41", u"Area", "100.0000"}, {"42", u"length", "5.0000"},
        {"42", u"Radius", "####"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.handle) + " " + u8(row.property));
        std::u16string id = testhost::u16(std::to_string(d.idOf(row.handle).asOldId()));
        EXPECT_EQ(u8(d.evaluateCode(u"%<\\AcObjProp Object(%<\\_ObjId " + id + u">%)." + row.property + u">%").display),
                  row.display);
    }
}

}
