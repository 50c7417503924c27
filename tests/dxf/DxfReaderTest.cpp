// The DXF reader on real files written by another DXF library (see
// tests/data/dxf/make_dxf.py) and on small hand-written ones: structure,
// owners and handles as read, and the errors of files that are broken.
#include "host/dbline.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/dxf/DxfFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string kData = std::string(TESSLY_TEST_DATA) + "/dxf/";

// The files of one test run, removed at exit.
struct TempFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path() / ("tessly-dxf-" + std::to_string(::getpid()));
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

std::string tempFile(const std::string& name, const std::string& text)
{
    static TempFolder folder;
    const auto& dir = folder.path;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
}

AcDbObject* byHandle(AcDbDatabase& db, const char* hex)
{
    AcDbObjectId id;
    if (db.getAcDbObjectId(id, false, AcDbHandle(std::stoull(hex, nullptr, 16))) != Acad::eOk)
        return nullptr;
    return db.objectAt(id);
}

AcDbBlockTableRecord* block(AcDbDatabase& db, AcDbObjectId id) { return AcDbBlockTableRecord::cast(db.objectAt(id)); }

AcDbBlockTableRecord* blockNamed(AcDbDatabase& db, const std::u16string& name)
{
    for (AcDbObjectId id : db.objectIds())
        if (auto* b = block(db, id); b && b->name() == name)
            return b;
    return nullptr;
}

TEST(DxfReader, R2018PlanStructure)
{
    dxf::LoadResult r = dxf::load(kData + "plan2018.dxf");
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    EXPECT_EQ(dxf::skippedText(r), "skipped 2 HATCH, 1 SPLINE");

    auto* layers = AcDbSymbolTable::cast(db.objectAt(db.layerTableId()));
    for (const char16_t* name : {u"0", u"WALLS", u"DOORS", u"NOTES"})
        EXPECT_TRUE(layers->has(name)) << testhost::u8(name);

    AcDbBlockTableRecord* anon = blockNamed(db, u"*U1");
    ASSERT_TRUE(anon);
    EXPECT_TRUE(anon->isAnonymous());
    EXPECT_FALSE(anon->isLayout());
    // The tagged anonymous copy of GATE makes GATE dynamic.
    AcDbBlockTableRecord* gate = blockNamed(db, u"GATE");
    AcDbBlockTableRecord* copy = blockNamed(db, u"*U2");
    ASSERT_TRUE(gate && copy);
    EXPECT_TRUE(gate->isDynamicBlock());
    EXPECT_EQ(copy->dynamicBlockId(), gate->objectId());
    EXPECT_TRUE(anon->dynamicBlockId().isNull());
    AcDbBlockTableRecord* site = blockNamed(db, u"SITE");
    ASSERT_TRUE(site);
    EXPECT_TRUE(site->isFromExternalReference());
    EXPECT_EQ(testhost::u8(site->pathName()), "site.dxf");
    AcDbBlockTableRecord* sheet = blockNamed(db, u"*Paper_Space0");
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isLayout());

    // The line of layout Sheet2 stands in its block, found through its owner.
    int linesInSheet = 0;
    for (AcDbObjectId id : db.objectIds())
        if (auto* line = AcDbLine::cast(db.objectAt(id)); line && line->ownerId() == sheet->objectId())
            ++linesInSheet;
    EXPECT_EQ(linesInSheet, 1);

    // The wall keeps its file handle, its layer and its extended data.
    auto* wall = AcDbLine::cast(byHandle(db, "33"));
    ASSERT_TRUE(wall);
    EXPECT_EQ(testhost::u8(wall->layerName()), "WALLS");
    EXPECT_EQ(wall->ownerId(), db.modelSpaceId());
    AcString xdata;
    ASSERT_TRUE(wall->getXdataText(u"TESSLY", xdata));
    EXPECT_EQ(testhost::u8(xdata), "outer wall\nnorth");
}

// R12 has no block records and no owners: blocks make their records, and
// group 67 puts an entity in paper space.
TEST(DxfReader, R12OwnersFromWhereEntitiesStand)
{
    const std::string text =
        "0\nSECTION\n2\nBLOCKS\n"
        "0\nBLOCK\n2\n$MODEL_SPACE\n70\n0\n0\nENDBLK\n"
        "0\nBLOCK\n2\nTREE\n70\n0\n0\nCIRCLE\n8\nPLANTS\n40\n1.5\n0\nENDBLK\n"
        "0\nENDSEC\n"
        "0\nSECTION\n2\nENTITIES\n"
        "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n3\n21\n4\n"
        "0\nLINE\n67\n1\n10\n0\n20\n0\n11\n1\n21\n0\n"
        "0\nPOLYLINE\n66\n1\n70\n1\n0\nVERTEX\n10\n0\n20\n0\n0\nVERTEX\n10\n4\n20\n0\n0\nVERTEX\n10\n4\n20\n3\n0\nSEQEND\n"
        "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("r12.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    EXPECT_EQ(block(db, db.modelSpaceId())->entityIds().size(), 2u); // a line and the polyline
    EXPECT_EQ(block(db, db.paperSpaceId())->entityIds().size(), 1u);
    AcDbBlockTableRecord* tree = blockNamed(db, u"TREE");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->entityIds().size(), 1u);
    EXPECT_TRUE(AcDbSymbolTable::cast(db.objectAt(db.layerTableId()))->has(u"PLANTS"));
    EXPECT_EQ(dxf::skippedText(r), "");
}

TEST(DxfReader, UnknownEntitiesAreCountedNotErrors)
{
    const std::string text = "0\nSECTION\n2\nENTITIES\n"
                             "0\nHATCH\n8\n0\n91\n1\n0\nSPLINE\n70\n8\n0\nHATCH\n0\nDIMENSION\n0\nHATCH\n"
                             "0\nCIRCLE\n40\n0\n" // a circle without radius cannot be shown
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("unknown.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    EXPECT_EQ(dxf::skippedText(r), "skipped 3 HATCH, 1 CIRCLE (degenerate), 1 DIMENSION, 1 SPLINE");
}

struct BadFile {
    const char* name;
    std::string text;
    const char* error; // after "<path>: "
};

TEST(DxfReader, BrokenFilesNameTheLine)
{
    const std::string entities = "0\nSECTION\n2\nENTITIES\n";
    const std::string end = "0\nENDSEC\n0\nEOF\n";
    const BadFile rows[] = {
        {"code.dxf", entities + "zero\nLINE\n" + end, "line 5: a group code (a whole number) was expected, found \"zero\""},
        {"number.dxf", entities + "0\nLINE\n10\n1,5\n" + end, "line 8: LINE group 10 must be a finite number, found \"1,5\""},
        {"cut.dxf", entities + "0\nLINE\n10\n", "line 7: group code 10 has no value line: the file is cut short"},
        {"endsec.dxf", entities + "0\nLINE\n10\n1\n", "line 5: the file ends inside the ENTITIES section"},
        {"twice.dxf", entities + "0\nLINE\n5\n2A\n0\nCIRCLE\n5\n2a\n40\n1\n" + end, "line 9: handle 2a is used twice"},
        {"hex.dxf", entities + "0\nLINE\n5\nXYZ\n" + end, "line 5: handle \"XYZ\" is not hexadecimal"},
        {"block.dxf", entities + "0\nLINE\n0\nINSERT\n2\nNOPE\n" + end, "line 7: INSERT names block \"NOPE\", which the file does not define"},
        {"attrib.dxf", entities + "0\nATTRIB\n2\nTAG\n" + end, "line 5: ATTRIB without an INSERT"},
        {"start.dxf", "LINE\n0\n", "line 1: a group code (a whole number) was expected"},
        {"section.dxf", "0\nLINE\n" + end, "line 1: SECTION or EOF was expected, found \"LINE\""},
        {"blank.dxf", entities + "\n0\nLINE\n" + end, "line 5: a group code was expected, found an empty line"},
    };
    for (const BadFile& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = tempFile(row.name, row.text);
        dxf::LoadResult r = dxf::load(path);
        EXPECT_FALSE(r.drawing.database);
        EXPECT_TRUE(r.drawing.error.starts_with(path + ": " + row.error)) << r.drawing.error;
    }
}

TEST(DxfReader, TextsDecodeEscapesAndCodePages)
{
    // Before R2007 texts are in a code page, with \U+ escapes for the rest.
    const std::string text = "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n0\nENDSEC\n"
                             "0\nSECTION\n2\nENTITIES\n"
                             "0\nTEXT\n5\n20\n1\nK\xf6ln \\U+00B2 %<\\TsExpr 1+2>%\n"
                             "0\nMTEXT\n5\n21\n3\nfirst \n1\npart\n"
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("cp.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    auto* t = AcDbText::cast(byHandle(*r.drawing.database, "20"));
    ASSERT_TRUE(t);
    EXPECT_EQ(testhost::u8(t->textStringConst()), "K\xc3\xb6ln \xc2\xb2 %<\\TsExpr 1+2>%");
    EXPECT_EQ(t->fieldIds().size(), 1u);
    auto* m = AcDbText::cast(byHandle(*r.drawing.database, "21"));
    ASSERT_TRUE(m);
    EXPECT_EQ(testhost::u8(m->textStringConst()), "first part");
}

}
