// The DXF reader on real files written by another DXF library (see
// tests/data/dxf/make_dxf.py) and on small hand-written ones: structure,
// owners and handles as read, and the errors of files that are broken.
#include "host/db2dpoly.h"
#include "host/dbblkref.h"
#include "host/dbcircle.h"
#include "host/dbline.h"
#include "host/dbpoint.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/dxf/DxfFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include <sys/stat.h>

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
    return HostAccess::objectAt(db, id);
}

AcDbBlockTableRecord* block(AcDbDatabase& db, AcDbObjectId id)
{
    return AcDbBlockTableRecord::cast(HostAccess::objectAt(db, id));
}

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

    auto* layers = AcDbSymbolTable::cast(HostAccess::objectAt(db, db.layerTableId()));
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
        if (auto* line = AcDbLine::cast(HostAccess::objectAt(db, id)); line && line->ownerId() == sheet->objectId())
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
    const std::string text = "0\nSECTION\n2\nBLOCKS\n"
                             "0\nBLOCK\n2\n$MODEL_SPACE\n70\n0\n0\nENDBLK\n"
                             "0\nBLOCK\n2\nTREE\n70\n0\n0\nCIRCLE\n8\nPLANTS\n40\n1.5\n0\nENDBLK\n"
                             "0\nENDSEC\n"
                             "0\nSECTION\n2\nENTITIES\n"
                             "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n3\n21\n4\n"
                             "0\nLINE\n67\n1\n10\n0\n20\n0\n11\n1\n21\n0\n"
                             "0\nPOLYLINE\n66\n1\n70\n1\n0\nVERTEX\n10\n0\n20\n0\n0\nVERTEX\n10\n4\n20\n0\n0\nVERTEX\n1"
                             "0\n4\n20\n3\n0\nSEQEND\n"
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("r12.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    EXPECT_EQ(block(db, db.modelSpaceId())->entityIds().size(), 2u);  // a line and the polyline
    EXPECT_EQ(block(db, db.paperSpaceId())->entityIds().size(), 1u);
    AcDbBlockTableRecord* tree = blockNamed(db, u"TREE");
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->entityIds().size(), 1u);
    EXPECT_TRUE(AcDbSymbolTable::cast(HostAccess::objectAt(db, db.layerTableId()))->has(u"PLANTS"));
    EXPECT_EQ(dxf::skippedText(r), "");
}

TEST(DxfReader, UnknownEntitiesAreCountedNotErrors)
{
    const std::string text = "0\nSECTION\n2\nENTITIES\n"
                             "0\nHATCH\n8\n0\n91\n1\n0\nSPLINE\n70\n8\n0\nHATCH\n0\nDIMENSION\n0\nHATCH\n"
                             "0\nCIRCLE\n40\n0\n"  // a circle without radius cannot be shown
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("unknown.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    EXPECT_EQ(dxf::skippedText(r), "skipped 3 HATCH, 1 CIRCLE (degenerate), 1 DIMENSION, 1 SPLINE");
}

struct BadFile {
    const char* name;
    std::string text;
    const char* error;  // after "<path>: "
};

TEST(DxfReader, BrokenFilesNameTheLine)
{
    const std::string entities = "0\nSECTION\n2\nENTITIES\n";
    const std::string end = "0\nENDSEC\n0\nEOF\n";
    const BadFile rows[] = {
        {"code.dxf", entities + "zero\nLINE\n" + end,
         "line 5: a group code (a whole number) was expected, found \"zero\""},
        {"number.dxf", entities + "0\nLINE\n10\n1,5\n" + end,
         "line 8: LINE group 10 must be a finite number, found \"1,5\""},
        {"cut.dxf", entities + "0\nLINE\n10\n", "line 7: group code 10 has no value line: the file is cut short"},
        {"endsec.dxf", entities + "0\nLINE\n10\n1\n", "line 5: the file ends inside the ENTITIES section"},
        {"hex.dxf", entities + "0\nLINE\n5\nXYZ\n" + end, "line 5: handle \"XYZ\" is not hexadecimal"},
        {"block.dxf", entities + "0\nLINE\n0\nINSERT\n2\nNOPE\n" + end,
         "line 7: INSERT names block \"NOPE\", which the file does not define"},
        {"attrib.dxf", entities + "0\nATTRIB\n2\nTAG\n" + end, "line 5: ATTRIB without an INSERT"},
        {"start.dxf", "LINE\n0\n", "line 1: a group code (a whole number) was expected"},
        {"section.dxf", "0\nLINE\n" + end, "line 1: SECTION or EOF was expected, found \"LINE\""},
        {"blank.dxf", entities + "\n0\nLINE\n" + end, "line 5: a group code was expected, found an empty line"},
        {"control.dxf", entities + "\x02\xff\n0\n" + end,
         "line 5: a group code (a whole number) was expected, found \"\\x02\\xff\""},
        {"case.dxf", "0\nSECTION\n2\nTABLES\n0\nBLOCK_RECORD\n2\nDoor\n0\nBLOCK_RECORD\n2\nDOOR\n" + end,
         "line 9: blocks \"Door\" and \"DOOR\" differ only in letter case, which a drawing cannot hold"},
    };
    for (const BadFile& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = tempFile(row.name, row.text);
        dxf::LoadResult r = dxf::load(path);
        EXPECT_FALSE(r.drawing.database);
        EXPECT_TRUE(r.drawing.error.starts_with(path + ": " + row.error)) << r.drawing.error;
    }
}

// Whatever follows the EOF record is not part of the drawing; a DOS
// end-of-file byte ends a file that has no EOF record.
TEST(DxfReader, NothingAfterEofIsRead)
{
    const std::string body = "0\nSECTION\n2\nENTITIES\n0\nLINE\n5\n20\n11\n1\n0\nENDSEC\n";
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"dos.dxf", body + "0\nEOF\n\x1a"},
        {"dos-crlf.dxf", body + "0\r\nEOF\r\n\x1a\r\n"},
        {"text.dxf", body + "0\nEOF\nwritten by a careless tool\n\nmore\n"},
        {"records.dxf", body + "0\nEOF\n0\nLINE\n10\nwide\n"},
        {"no-eof.dxf", body + "\x1a"},
        {"blank-then-dos.dxf", body + "\n\x1a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        dxf::LoadResult r = dxf::load(tempFile(row.name, row.text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        EXPECT_TRUE(AcDbLine::cast(byHandle(*r.drawing.database, "20")));
    }
}

// R13 and older (or no header): plain 2D polylines without extended data
// become lightweight; fit ones and those of newer drawings stay 2D polylines,
// whose path leaves out a spline frame's control points.
TEST(DxfReader, OldStylePolylines)
{
    auto header = [](const char* version) {
        return std::string(version ? std::string("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n") + version + "\n0\nENDSEC\n"
                                   : "");
    };
    // A 3-4-5 path; spline frames add a control point far away (flag 16).
    const std::string path = "0\nVERTEX\n10\n0\n20\n0\n70\nV\n0\nVERTEX\n10\n3\n20\n0\n70\nV\n"
                             "0\nVERTEX\n10\n3\n20\n4\n70\nV\n0\nSEQEND\n";
    const std::string frame = "0\nVERTEX\n10\n100\n20\n100\n70\n16\n";
    auto polyline = [&](const char* flags, const char* vertexFlag, bool withFrame, bool xdata) {
        std::string vertices = path;
        for (size_t at; (at = vertices.find("70\nV")) != std::string::npos;)
            vertices.replace(at, 4, std::string("70\n") + vertexFlag);
        return "0\nPOLYLINE\n5\n30\n66\n1\n70\n" + std::string(flags) + "\n" +
            (xdata ? "1001\nTESSLY\n1000\nkept\n" : "") + (withFrame ? frame : "") + vertices;
    };
    const struct {
        const char* name;
        const char* version;  // null: no header
        std::string polyline;
        bool lightweight;
        int type;
    } rows[] = {
        {"R12 plain", "AC1009", polyline("0", "0", false, false), true, 0},
        {"no header", nullptr, polyline("0", "0", false, false), true, 0},
        {"R13 plain", "AC1012", polyline("0", "0", false, false), true, 0},
        {"R14 plain", "AC1014", polyline("0", "0", false, false), false, AcDb2dPolyline::k2dSimplePoly},
        {"R2018 plain", "AC1032", polyline("0", "0", false, false), false, AcDb2dPolyline::k2dSimplePoly},
        {"R12 curve-fit", "AC1009", polyline("2", "1", false, false), false, AcDb2dPolyline::k2dFitCurvePoly},
        {"R12 spline-fit", "AC1009", polyline("4", "8", true, false), false, AcDb2dPolyline::k2dCubicSplinePoly},
        {"R12 extended data", "AC1009", polyline("0", "0", false, true), false, AcDb2dPolyline::k2dSimplePoly},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string text = header(row.version) + "0\nSECTION\n2\nENTITIES\n" + row.polyline + "0\nENDSEC\n0\nEOF\n";
        dxf::LoadResult r = dxf::load(tempFile("poly.dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        AcDbObject* obj = byHandle(*r.drawing.database, "30");
        auto* curve = AcDbCurve::cast(obj);
        ASSERT_TRUE(curve);
        double length = 0;
        curve->getLength(length);
        EXPECT_DOUBLE_EQ(length, 7) << "the path, never the frame";
        EXPECT_EQ(AcDbPolyline::cast(obj) != nullptr, row.lightweight);
        EXPECT_EQ(r.kept2dPolylines, row.lightweight ? 0 : 1);
        if (auto* kept = AcDb2dPolyline::cast(obj)) {
            EXPECT_EQ(kept->polyType(), row.type);
            EXPECT_EQ(kept->numVerts(), 3u);
            EXPECT_EQ(dxf::loadNotes(r), std::vector<std::string>{"kept 1 2D polyline"});
        }
    }
}

// Tools that reuse handles: the first object keeps one, later ones are
// renumbered above every handle of the file, and the load says so.
TEST(DxfReader, DuplicateHandlesAreRenumbered)
{
    const std::string text = "0\nSECTION\n2\nTABLES\n0\nLAYER\n5\n15\n2\nWALLS\n"
                             "0\nBLOCK_RECORD\n5\n15\n2\n*Paper_Space0\n340\n1E\n0\nENDSEC\n"
                             "0\nSECTION\n2\nENTITIES\n"
                             "0\nLINE\n5\n15\n330\n15\n8\nWALLS\n11\n1\n"
                             "0\nCIRCLE\n5\n2A0\n40\n1\n"
                             "0\nCIRCLE\n5\n2a0\n40\n2\n"
                             "0\nHATCH\n5\n2B0\n"
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("twice.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    EXPECT_TRUE(AcDbLayerTableRecord::cast(byHandle(db, "15")));
    auto* first = AcDbCircle::cast(byHandle(db, "2A0"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->radius(), 1);
    ASSERT_EQ(r.renumbered.size(), 3u);
    EXPECT_EQ(r.renumbered[0].first, "15");
    EXPECT_EQ(r.renumbered[1].first, "15");
    EXPECT_EQ(r.renumbered[2].first, "2A0");
    // Above the skipped hatch's handle too, in file order; the line still
    // stands in the layout its owner group names.
    auto* layout = AcDbBlockTableRecord::cast(byHandle(db, r.renumbered[0].second.c_str()));
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->name(), u"*Paper_Space0");
    EXPECT_GT(std::stoull(r.renumbered[0].second, nullptr, 16), 0x2B0u);
    auto* line = AcDbLine::cast(byHandle(db, r.renumbered[1].second.c_str()));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->ownerId(), layout->objectId());
    auto* second = AcDbCircle::cast(byHandle(db, r.renumbered[2].second.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->radius(), 2);
    EXPECT_EQ(dxf::loadNotes(r).back(),
              "renumbered 3 objects whose handles were used twice: 15\u2192" + r.renumbered[0].second + ", 15\u2192" +
                  r.renumbered[1].second + ", 2A0\u2192" + r.renumbered[2].second);
}

// Handles the reader makes up (layouts and layers the file lacks, objects
// written without handles) never take one the file gives later.
TEST(DxfReader, MadeUpHandlesGoAboveTheFiles)
{
    const std::string text = "0\nSECTION\n2\nENTITIES\n"
                             "0\nLINE\n8\nNEW\n11\n1\n"  // no handle, a layer to make
                             "0\nCIRCLE\n5\n3\n40\n1\n0\nCIRCLE\n5\n4\n40\n2\n0\nCIRCLE\n5\n5\n40\n3\n"
                             "0\nCIRCLE\n5\n6\n40\n4\n0\nCIRCLE\n5\n7\n40\n5\n0\nCIRCLE\n5\n8\n40\n6\n"
                             "0\nTEXT\n5\n9\n1\n%<\\AcLength Object(<5>)>%\n"
                             "0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("madeup.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    for (int h = 3; h <= 8; ++h) {
        auto* circle = AcDbCircle::cast(byHandle(db, std::to_string(h).c_str()));
        ASSERT_TRUE(circle) << h;
        EXPECT_EQ(circle->radius(), h - 2);
    }
    // The rest (tables aside) stand above the file's highest, 9.
    for (AcDbObjectId id : db.objectIds()) {
        AcDbObject* obj = HostAccess::objectAt(db, id);
        Adesk::UInt64 h = obj->objectHandle().value();
        bool fromFile = AcDbCircle::cast(obj) || (AcDbText::cast(obj) && h == 9);
        if (h > 2) {
            EXPECT_EQ(fromFile, h <= 9) << testhost::u8(obj->isA()->name()) << " " << h;
        }
    }
    EXPECT_TRUE(r.renumbered.empty());
}

// A definition's base point is placed at the reference's position.
TEST(DxfReader, BlockBasePoint)
{
    const std::string text = "0\nSECTION\n2\nBLOCKS\n0\nBLOCK\n2\nMARK\n10\n1\n20\n1\n30\n0\n"
                             "0\nLINE\n10\n1\n20\n1\n11\n3\n21\n2\n0\nENDBLK\n0\nENDSEC\n"
                             "0\nSECTION\n2\nENTITIES\n0\nINSERT\n5\n40\n2\nMARK\n10\n50\n20\n0\n0\nENDSEC\n0\nEOF\n";
    dxf::LoadResult r = dxf::load(tempFile("base.dxf", text));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    auto* ref = AcDbBlockReference::cast(byHandle(*r.drawing.database, "40"));
    ASSERT_TRUE(ref);
    AcDbExtents e;
    ASSERT_EQ(ref->getGeomExtents(e), Acad::eOk);
    EXPECT_EQ(e.minPoint().x, 50);
    EXPECT_EQ(e.minPoint().y, 0);
    EXPECT_EQ(e.maxPoint().x, 52);
    EXPECT_EQ(e.maxPoint().y, 1);
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

// The reader's fast paths against what they must still get right: handles
// past 32 bits (kept beside the handle table) with one used twice, a record
// longer than a reading chunk, and a POLYLINE whose layer group is empty.
TEST(DxfReader, FastPathEdges)
{
    {
        SCOPED_TRACE("handles past 32 bits");
        const std::string text = "0\nSECTION\n2\nENTITIES\n"
                                 "0\nCIRCLE\n5\n1FFFFFFFF\n40\n1\n"
                                 "0\nCIRCLE\n5\n20\n40\n2\n"
                                 "0\nCIRCLE\n5\n1ffffffff\n40\n3\n"
                                 "0\nENDSEC\n0\nEOF\n";
        dxf::LoadResult r = dxf::load(tempFile("wide.dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        AcDbDatabase& db = *r.drawing.database;
        auto* wide = AcDbCircle::cast(byHandle(db, "1FFFFFFFF"));
        auto* narrow = AcDbCircle::cast(byHandle(db, "20"));
        ASSERT_TRUE(wide && narrow);
        EXPECT_EQ(wide->radius(), 1);
        EXPECT_EQ(narrow->radius(), 2);
        ASSERT_EQ(r.renumbered.size(), 1u);
        EXPECT_GT(std::stoull(r.renumbered[0].second, nullptr, 16), 0x1FFFFFFFFu);
        auto* again = AcDbCircle::cast(byHandle(db, r.renumbered[0].second.c_str()));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->radius(), 3);
    }
    {
        SCOPED_TRACE("a record longer than a reading chunk");
        const std::string long1(300000, 'x');
        const std::string text = "0\nSECTION\n2\nENTITIES\n0\nMTEXT\n5\n30\n3\n" + long1 + "\n1\nend\n" +
            "0\nCIRCLE\n5\n31\n40\n4\n0\nENDSEC\n0\nEOF\n";
        dxf::LoadResult r = dxf::load(tempFile("long.dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        auto* mtext = AcDbMText::cast(byHandle(*r.drawing.database, "30"));
        ASSERT_TRUE(mtext);
        EXPECT_EQ(std::u16string(mtext->contents()), std::u16string(long1.begin(), long1.end()) + u"end");
        auto* circle = AcDbCircle::cast(byHandle(*r.drawing.database, "31"));
        ASSERT_TRUE(circle);
        EXPECT_EQ(circle->radius(), 4);
    }
    {
        SCOPED_TRACE("a POLYLINE with an empty layer group");
        const std::string text = "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n5\n30\n8\n\n66\n1\n70\n0\n"
                                 "0\nVERTEX\n10\n0\n20\n0\n0\nVERTEX\n10\n3\n20\n4\n0\nSEQEND\n"
                                 "0\nENDSEC\n0\nEOF\n";
        dxf::LoadResult r = dxf::load(tempFile("nolayer.dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        auto* entity = AcDbEntity::cast(byHandle(*r.drawing.database, "30"));
        ASSERT_TRUE(entity);
        std::unique_ptr<ACHAR[]> layer(entity->layer());
        EXPECT_EQ(std::u16string(layer.get()), u"0");
    }
}

// The reader finds line breaks a block of 64 bytes at a time: values of
// every length up to past two blocks, with both line ends and right-aligned
// codes, land on every place of a block and come back whole; a line number
// after them is still counted right.
TEST(DxfReader, ValuesOfEveryLengthAcrossBlocks)
{
    std::string text = "0\nSECTION\n2\nENTITIES\n";
    std::vector<std::string> values;
    for (size_t n = 0; n <= 140; ++n) {
        std::string value;
        for (size_t i = 0; i < n; ++i)
            value += static_cast<char>('a' + (n + i) % 26);
        values.push_back(value);
        const std::string end = n % 3 == 0 ? "\r\n" : "\n";
        char hex[16];
        std::snprintf(hex, sizeof hex, "%zx", 0x100 + n);
        text += "  0" + end + "TEXT" + end + "  5" + end + hex + end + "  1" + end + value + end + " 40" + end +
            std::to_string(n) + ".50" + end;
    }
    std::string good = text + "0\nENDSEC\n0\nEOF";  // no line break at the very end
    dxf::LoadResult r = dxf::load(tempFile("lengths.dxf", good));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    for (size_t n = 0; n < values.size(); ++n) {
        SCOPED_TRACE(n);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%zx", 0x100 + n);
        auto* t = AcDbText::cast(byHandle(*r.drawing.database, hex));
        ASSERT_TRUE(t);
        EXPECT_EQ(testhost::u8(t->textStringConst()), values[n]);
        EXPECT_EQ(t->height(), static_cast<double>(n) + 0.5);
    }
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    r = dxf::load(tempFile("lengths-bad.dxf", text + "0\nLINE\n10\nx\n0\nENDSEC\n0\nEOF\n"));
    EXPECT_NE(r.drawing.error.find(": line " + std::to_string(lines + 4) + ": LINE group 10 must be a finite number"),
              std::string::npos)
        << r.drawing.error;
}

// Plain decimals take a short way; whatever way a number takes, it is the
// double the full parse gives, bit for bit.
TEST(DxfReader, NumbersAreWhatTheFullParseGives)
{
    std::vector<std::string> numbers = {"0",
                                        "0.0",
                                        "-0.0",
                                        "2.5",
                                        "1230.0",
                                        "1230.000",
                                        "0.30",
                                        "0.1000",
                                        "100.",
                                        "-17.25",
                                        "1e3",
                                        " 4.5 ",
                                        "0.00001",
                                        "123456789.1",
                                        "9007199254740993.0",
                                        "1.7976931348623157e308",
                                        "999999999999999.0",
                                        "0.123456789012345"};
    std::uint64_t seed = 12345;
    for (int i = 0; i < 300; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        std::string digits = std::to_string(seed >> 20);
        size_t point = (seed >> 8) % digits.size();
        std::string number = seed & 1 ? "-" : "";
        number += digits.substr(0, point + 1);
        number += '.';
        number += digits.substr(point + 1);
        number.append((seed >> 4) % 4, '0');
        numbers.push_back(number);
    }
    std::string text = "0\nSECTION\n2\nENTITIES\n";
    for (size_t i = 0; i < numbers.size(); ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%zx", 0x100 + i);
        text += "0\nPOINT\n5\n" + std::string(hex) + "\n10\n" + numbers[i] + "\n";
    }
    dxf::LoadResult r = dxf::load(tempFile("numbers.dxf", text + "0\nENDSEC\n0\nEOF\n"));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    for (size_t i = 0; i < numbers.size(); ++i) {
        SCOPED_TRACE(numbers[i]);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%zx", 0x100 + i);
        auto* p = AcDbPoint::cast(byHandle(*r.drawing.database, hex));
        ASSERT_TRUE(p);
        std::string_view s = numbers[i];
        while (s.front() == ' ')
            s.remove_prefix(1);
        while (s.back() == ' ')
            s.remove_suffix(1);
        double expected = 0;
        std::from_chars(s.data(), s.data() + s.size(), expected);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(p->position().x), std::bit_cast<std::uint64_t>(expected));
    }
}

// Handles index pages directly where they are dense and a map where they
// are not: every pattern finds its object, and a handle used twice in
// either place is renumbered.
TEST(DxfReader, HandlesOfEveryPatternAreFound)
{
    std::vector<std::uint64_t> handles;
    for (std::uint64_t h = 0x100; h < 0x900; ++h)
        handles.push_back(h);  // one dense run over pages
    for (std::uint64_t i = 1; i <= 40; ++i)
        handles.push_back(i << 20);  // one to a page, more pages than the budget allows
    for (std::uint64_t h : {0xFFFFFFFFull, 0x100000000ull, 0xFFFFFFFFFFFFull})
        handles.push_back(h);  // at and past 32 bits
    std::string text = "0\nSECTION\n2\nENTITIES\n";
    char hex[24];
    for (size_t i = 0; i < handles.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(handles[i]));
        text += "0\nCIRCLE\n5\n" + std::string(hex) + "\n40\n" + std::to_string(i + 1) + "\n";
    }
    // Used twice: a page's handle and a map's.
    text += "0\nCIRCLE\n5\n105\n40\n9001\n0\nCIRCLE\n5\n1400000\n40\n9002\n";
    dxf::LoadResult r = dxf::load(tempFile("handles.dxf", text + "0\nENDSEC\n0\nEOF\n"));
    ASSERT_TRUE(r.drawing.database) << r.drawing.error;
    AcDbDatabase& db = *r.drawing.database;
    for (size_t i = 0; i < handles.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(handles[i]));
        SCOPED_TRACE(hex);
        auto* c = AcDbCircle::cast(byHandle(db, hex));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->radius(), static_cast<double>(i + 1));
    }
    ASSERT_EQ(r.renumbered.size(), 2u);
    EXPECT_EQ(r.renumbered[0].first, "105");
    EXPECT_EQ(r.renumbered[1].first, "1400000");
    for (size_t k = 0; k < 2; ++k) {
        auto* c = AcDbCircle::cast(byHandle(db, r.renumbered[k].second.c_str()));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->radius(), 9001.0 + static_cast<double>(k));
    }
    EXPECT_FALSE(byHandle(db, "900"));
    EXPECT_FALSE(byHandle(db, "500001"));
}

// A file is read a chunk of 256 KB at a time: a record that the first
// chunk's end cuts, wherever it falls (in a code, between CR and LF, in a
// value), reads whole, and lines are still counted right after it.
TEST(DxfReader, RecordsAcrossTheReadingWindow)
{
    constexpr size_t kWindow = size_t{1} << 18;
    const std::string head = "0\nSECTION\n2\nENTITIES\n999\n";
    const std::string circle = "0\r\nCIRCLE\r\n  5\r\n2F\r\n 40\r\n7.25\r\n";
    const std::string end = "0\nENDSEC\n0\nEOF\n";
    for (size_t at : {size_t{0}, size_t{1}, size_t{2}, size_t{3}, size_t{12}, size_t{14}, size_t{15}, size_t{19},
                      size_t{26}, size_t{27}, circle.size() - 1}) {
        SCOPED_TRACE("the edge at byte " + std::to_string(at) + " of the circle");
        // The comment's line ends where the circle starts: `at` bytes before the edge.
        const std::string text = head + std::string(kWindow - at - head.size() - 1, 'c') + "\n" + circle + end;
        dxf::LoadResult r = dxf::load(tempFile("window.dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        auto* c = AcDbCircle::cast(byHandle(*r.drawing.database, "2F"));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->radius(), 7.25);
    }
    // A comment longer than two chunks, then a bad value on line 10.
    const std::string text = head + std::string(2 * kWindow + 5, 'c') + "\n0\nLINE\n10\nx\n" + end;
    dxf::LoadResult r = dxf::load(tempFile("window-bad.dxf", text));
    EXPECT_NE(r.drawing.error.find(": line 10: LINE group 10 must be a finite number"), std::string::npos)
        << r.drawing.error;
}

// The file ends where the reader's first chunk does: the last record reads
// whole with either line end and without a final line break.
TEST(DxfReader, FilesThatEndOnAPageEdge)
{
    const struct {
        const char* name;
        std::string tail;
    } rows[] = {
        {"eof", "0\nENDSEC\n0\nEOF\n"},
        {"eof-no-break", "0\nENDSEC\n0\nEOF"},
        {"eof-crlf", "0\r\nENDSEC\r\n0\r\nEOF\r\n"},
        {"eof-crlf-no-break", "0\r\nENDSEC\r\n  0\r\nEOF"},
        {"endsec-no-break", "0\nENDSEC"},
        {"endsec-cr", "0\nENDSEC\r"},
    };
    constexpr size_t kSize = size_t{1} << 18;  // the reader's chunk
    const std::string head = "0\nSECTION\n2\nENTITIES\n999\n";
    const std::string circle = "0\nCIRCLE\n5\n2F\n40\n7.25\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string text = head + std::string(kSize - head.size() - 1 - circle.size() - row.tail.size(), 'c') +
            "\n" + circle + row.tail;
        ASSERT_EQ(text.size(), kSize);
        dxf::LoadResult r = dxf::load(tempFile(std::string(row.name) + ".dxf", text));
        ASSERT_TRUE(r.drawing.database) << r.drawing.error;
        auto* c = AcDbCircle::cast(byHandle(*r.drawing.database, "2F"));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->radius(), 7.25);
    }
}

// A pipe streams through the buffer a file does, and is opened once: a
// drawing read from a pipe is the one read from the file, a record longer
// than the buffer included, and a broken one gives the same message.
TEST(DxfReader, PipesGiveWhatFilesGive)
{
    std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early leaves the writer to fail quietly
    std::string big = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < 20000; ++i) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", 0x100 + i);
        big += i % 2 ? "  0\r\nCIRCLE\r\n  5\r\n" + std::string(hex) + "\r\n 40\r\n" + std::to_string(i) + ".5\r\n"
                     : "0\nLINE\n5\n" + std::string(hex) + "\n10\n" + std::to_string(i) + "\n";
    }
    const std::string longText(600000, 'm');
    big += "0\nMTEXT\n5\n30\n3\n" + longText + "\n1\nend\n0\nCIRCLE\n5\n31\n40\n4\n0\nENDSEC\n0\nEOF";
    const struct {
        const char* name;
        std::string text;
    } rows[] = {
        {"big", big},
        {"long-bad", "0\nSECTION\n2\nENTITIES\n0\nMTEXT\n3\n" + longText + "\n40\nx\n0\nENDSEC\n0\nEOF\n"},
        {"cut", "0\nSECTION\n2\nENTITIES\n0\nLINE\n10\n"},
        {"bad-code", "0\nSECTION\n2\nENTITIES\nzero\nLINE\n"},
        {"binary", std::string("AutoCAD Binary DXF\r\n\x1a") + std::string(100, '\0')},
    };
    // Every object as its class and handle.
    auto objects = [](const AcDbDatabase& db) {
        std::vector<std::string> out;
        for (AcDbObjectId id : db.objectIds()) {
            AcDbObject* obj = HostAccess::objectAt(db, id);
            out.push_back(testhost::u8(obj->isA()->name()) + " " + testhost::u8(obj->objectHandle().text()));
        }
        return out;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string file = tempFile(std::string(row.name) + ".dxf", row.text);
        const std::string pipe = file + ".pipe.dxf";
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        std::thread writer([&] { std::ofstream(pipe, std::ios::binary) << row.text; });
        dxf::LoadResult fromPipe = dxf::load(pipe);
        writer.join();
        dxf::LoadResult fromFile = dxf::load(file);
        ASSERT_EQ(!fromPipe.drawing.database, !fromFile.drawing.database) << fromPipe.drawing.error;
        if (!fromFile.drawing.database) {
            ASSERT_FALSE(fromFile.drawing.error.empty());
            EXPECT_EQ(fromPipe.drawing.error.substr(pipe.size()), fromFile.drawing.error.substr(file.size()));
            continue;
        }
        AcDbDatabase& db = *fromPipe.drawing.database;
        EXPECT_EQ(objects(db), objects(*fromFile.drawing.database));
        auto* mtext = AcDbMText::cast(byHandle(db, "30"));
        ASSERT_TRUE(mtext);
        EXPECT_EQ(std::u16string(mtext->contents()), std::u16string(longText.begin(), longText.end()) + u"end");
        auto* last = AcDbCircle::cast(byHandle(db, "31"));
        ASSERT_TRUE(last);
        EXPECT_EQ(last->radius(), 4);
        auto* circle = AcDbCircle::cast(byHandle(db, "4F1F"));  // the last of the loop's
        ASSERT_TRUE(circle);
        EXPECT_EQ(circle->radius(), 19999.5);
    }
}
