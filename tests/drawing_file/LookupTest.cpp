// Finding symbol records by name and building a field's code from its
// children: the answers the drawing's order of addition gives, on tables and
// fields large enough that a slow path would show.
#include "host/dbfield.h"
#include "host/dbline.h"
#include "host/dbsymtb.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/DrawingFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

AcDbObjectId addBlock(AcDbDatabase& db, const std::u16string& name)
{
    auto* rec = new AcDbBlockTableRecord;
    rec->setName(name.c_str());
    AcDbObjectId id;
    EXPECT_EQ(db.addObject(rec, db.blockTableId(), id), Acad::eOk);
    return id;
}

AcDbObjectId blockNamed(AcDbDatabase& db, const std::u16string& name, bool getErased = false)
{
    AcDbObjectId id;
    AcDbSymbolTable::cast(HostAccess::objectAt(db, db.blockTableId()))->getAt(name.c_str(), id, getErased);
    return id;
}

TEST(SymbolLookup, NamesFollowRenamesErasesAndOrder)
{
    AcDbDatabase db(false);
    AcDbObjectId a = addBlock(db, u"A"), b = addBlock(db, u"B"), a2 = addBlock(db, u"A");
    EXPECT_EQ(blockNamed(db, u"A"), a) << "the first of two records of one name";

    HostAccess::objectAt(db, a)->erase();
    EXPECT_EQ(blockNamed(db, u"A"), a2) << "an erased record is passed over";
    EXPECT_EQ(blockNamed(db, u"A", true), a) << "unless erased ones are asked for";
    HostAccess::objectAt(db, a)->erase(false);

    AcDbBlockTableRecord::cast(HostAccess::objectAt(db, a))->setName(u"C");
    EXPECT_EQ(blockNamed(db, u"A"), a2) << "a renamed record leaves its old name";
    EXPECT_EQ(blockNamed(db, u"C"), a);
    AcDbBlockTableRecord::cast(HostAccess::objectAt(db, a2))->setName(u"B");
    AcDbBlockTableRecord::cast(HostAccess::objectAt(db, a))->setName(u"B");
    EXPECT_EQ(blockNamed(db, u"B"), a) << "renamed records keep the order they were added in";
    HostAccess::objectAt(db, a)->erase();
    EXPECT_EQ(blockNamed(db, u"B"), b);
    HostAccess::objectAt(db, b)->erase();
    EXPECT_EQ(blockNamed(db, u"B"), a2);
    EXPECT_TRUE(blockNamed(db, u"a").isNull()) << "names match with their letter case";
    EXPECT_TRUE(blockNamed(db, u"Z").isNull());
}

// Each test runs in a process of its own, so this one starts before any erase.
TEST(ObjectIds, ErasureFollowsOwnersFromTheFirstErase)
{
    AcDbDatabase db(false);
    AcDbObjectId block = addBlock(db, u"A"), line;
    ASSERT_EQ(db.addObject(new AcDbLine({0, 0, 0}, {1, 1, 0}), block, line), Acad::eOk);
    EXPECT_FALSE(line.isEffectivelyErased());
    HostAccess::objectAt(db, block)->erase();
    EXPECT_FALSE(line.isErased());
    EXPECT_TRUE(line.isEffectivelyErased()) << "erasing the owner erases what it holds";
    HostAccess::objectAt(db, block)->erase(false);
    EXPECT_FALSE(line.isEffectivelyErased());

    const Adesk::IntDbId valid = line.asOldId();
    for (Adesk::IntDbId raw :
         {Adesk::IntDbId{0}, Adesk::IntDbId{1}, valid + (Adesk::IntDbId{1} << 40),
          std::numeric_limits<Adesk::IntDbId>::min(), std::numeric_limits<Adesk::IntDbId>::max()}) {
        SCOPED_TRACE(raw);
        AcDbObjectId id = AcDbObjectId::fromOldId(raw);
        EXPECT_FALSE(id.isValid()) << "an id no object was given names nothing";
        EXPECT_FALSE(id.isEffectivelyErased());
    }
}

TEST(SymbolLookup, ModelSpaceListedAfterManyBlocks)
{
    std::string objects;
    for (int i = 0; i < 3000; ++i)
        objects += (i ? ", " : "") + std::string(R"({"type": "block", "handle": ")") + std::to_string(100 + i) +
            R"(", "name": "B)" + std::to_string(i) + R"("})";
    objects += R"(, {"type": "line", "handle": "9000", "start": [0, 0], "end": [1, 1]},
                   {"type": "line", "handle": "9001", "owner": "2000", "start": [0, 0], "end": [1, 1]})";
    auto r = drawingfile::loadFromText("{\"tesslyDrawing\": 1, \"objects\": [" + objects + "]}", "d.json");
    ASSERT_TRUE(r.database) << r.error;
    AcDbDatabase& db = *r.database;
    auto* blocks = AcDbSymbolTable::cast(HostAccess::objectAt(db, db.blockTableId()));
    ASSERT_EQ(blocks->recordIds().size(), 3002u);
    EXPECT_EQ(db.modelSpaceId(), blocks->recordIds()[3000]) << "the reader adds model space after the file's blocks";
    AcDbObjectId line, owned;
    ASSERT_EQ(db.getAcDbObjectId(line, false, AcDbHandle(0x9000)), Acad::eOk);
    ASSERT_EQ(db.getAcDbObjectId(owned, false, AcDbHandle(0x9001)), Acad::eOk);
    EXPECT_EQ(HostAccess::objectAt(db, line)->ownerId(), db.modelSpaceId());
    EXPECT_EQ(HostAccess::objectAt(db, owned)->ownerId(), blockNamed(db, u"B1900")) << "handle 2000 is block B1900";
}

TEST(HandleIndex, HandlesFoundAsTheDrawingGrows)
{
    AcDbDatabase db(false), other(false);
    HostAccess::hostReserveObjects(db, 10);
    // Consecutive handles, a power-of-two stride and large ones.
    std::vector<Adesk::UInt64> handles;
    for (Adesk::UInt64 i = 0; i < 3000; ++i)
        handles.push_back(0x100 + i);
    for (Adesk::UInt64 i = 1; i <= 3000; ++i)
        handles.push_back(i << 16);
    for (Adesk::UInt64 i = 1; i <= 100; ++i)
        handles.push_back(~0ull - i);
    std::vector<AcDbObjectId> ids;
    for (Adesk::UInt64 h : handles) {
        AcDbObjectId id;
        ASSERT_EQ(db.addObject(new AcDbLayerTableRecord, db.layerTableId(), id, AcDbHandle(h)), Acad::eOk);
        ids.push_back(id);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        AcDbObjectId id;
        ASSERT_EQ(db.getAcDbObjectId(id, false, AcDbHandle(handles[i])), Acad::eOk);
        ASSERT_EQ(id, ids[i]);
        ASSERT_EQ(HostAccess::objectAt(db, id)->objectHandle().value(), handles[i]);
    }
    auto* twice = new AcDbLayerTableRecord;
    AcDbObjectId id;
    EXPECT_EQ(db.addObject(twice, db.layerTableId(), id, AcDbHandle(0x100)), Acad::eDuplicateKey);
    delete twice;
    EXPECT_EQ(db.getAcDbObjectId(id, false, AcDbHandle(0x99)), Acad::eKeyNotFound);
    EXPECT_EQ(db.getAcDbObjectId(id, false, AcDbHandle()), Acad::eKeyNotFound);
    EXPECT_EQ(HostAccess::objectAt(other, ids[0]), nullptr) << "an object of another drawing";
    EXPECT_GT(db.handseed(), handles.back());

    // Renumbered objects leave their handles, the rest stay found.
    std::vector<std::pair<AcDbObjectId, AcDbHandle>> moves;
    for (size_t i = 0; i < 3000; i += 2)
        moves.emplace_back(ids[i], AcDbHandle(0x7000001 + i));
    ASSERT_EQ(HostAccess::hostRenumber(db, moves), Acad::eOk);
    for (size_t i = 0; i < handles.size(); ++i) {
        AcDbObjectId found;
        bool moved = i < 3000 && i % 2 == 0;
        EXPECT_EQ(db.getAcDbObjectId(found, false, AcDbHandle(handles[i])) == Acad::eOk, !moved) << i;
        if (moved) {
            ASSERT_EQ(db.getAcDbObjectId(found, false, AcDbHandle(0x7000001 + i)), Acad::eOk);
            EXPECT_EQ(found, ids[i]);
        } else {
            EXPECT_EQ(found, ids[i]);
        }
    }
}

TEST(HandleIndex, HandleTextIsUpperCaseHexWithoutLeadingZeros)
{
    const struct {
        Adesk::UInt64 value;
        const char16_t* text;
    } rows[] = {{0, u"0"},
                {0x1, u"1"},
                {0xA, u"A"},
                {0x2F1, u"2F1"},
                {0x10000, u"10000"},
                {0xFEDCBA9876543210ull, u"FEDCBA9876543210"},
                {~0ull, u"FFFFFFFFFFFFFFFF"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(AcDbHandle(row.value).text(), row.text);
        EXPECT_EQ(AcDbHandle(row.text).value(), row.value) << "read back";
    }
}

TEST(FieldCode, EvaluatedChildrenTakeTheirPlaceInOnePass)
{
    struct Row {
        std::u16string code;
        std::u16string expected;
    };
    const Row rows[] = {
        {u"%<\\TsExpr %<\\A x>%+%<\\A y>%>%", u"c0+c1"},
        {u"%<\\TsExpr (%<\\A x>%)>%", u"(c0)"},
        {u"%<\\TsExpr %<\\A x>%%<\\A y>%%<\\A z>% \\f \"%lu2\">%", u"c0c1c2"},
        {u"%<\\TsExpr no children>%", u"no children"},
        {u"%<\\TsExpr %<\\_ObjId 12>% + %<\\A x>%>%", u"%<\\_ObjId 12>% + c0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testhost::u8(row.code));
        AcDbField field(row.code.c_str());
        for (size_t i = 0; i < field.children().size(); ++i) {
            std::u16string text = u"c";
            text += static_cast<char16_t>(u'0' + i);
            AcValue v(text.c_str());
            HostAccess::hostSetResult(*field.children()[i], &v, AcDbField::kSuccess);
        }
        EXPECT_EQ(testhost::u8(field.getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions)),
                  testhost::u8(row.expected));
    }

    // Many children, each a different length from its code.
    std::u16string code = u"%<\\TsExpr ", expected;
    for (int i = 0; i < 5000; ++i) {
        code += u"[%<\\A x>%]";
        expected += u"[";
        expected += testhost::u16(std::to_string(i));
        expected += u"]";
    }
    AcDbField big((code + u">%").c_str());
    ASSERT_EQ(big.children().size(), 5000u);
    for (size_t i = 0; i < 5000; ++i) {
        AcValue v;
        v.set(static_cast<Adesk::Int32>(i));
        HostAccess::hostSetResult(*big.children()[i], &v, AcDbField::kSuccess);
    }
    EXPECT_EQ(big.getFieldCode(AcDbField::kEvaluatedChildren | AcDbField::kStripOptions), expected);
}

}
