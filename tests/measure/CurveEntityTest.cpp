// The replacement host's curves as the measures rely on them: polyline
// segment kinds, arc segments from bulges, areas, extents, and reading and
// writing them in drawing files.
#include "host/db2dpoly.h"
#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbline.h"
#include "host/dbpl.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/file/DrawingFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// Host objects do not copy, so the tables hold them by pointer.
std::shared_ptr<AcDbPolyline> polyline(std::initializer_list<std::array<double, 3>> vertices, bool closed)
{
    auto pl = std::make_shared<AcDbPolyline>();
    for (const auto& v : vertices)
        pl->addVertexAt(pl->numVerts(), {v[0], v[1]}, v[2]);
    pl->setClosed(closed);
    return pl;
}

TEST(Polyline, SegmentKinds)
{
    auto openHeld = polyline({{0, 0, 0}, {1, 0, 0.5}, {1, 1, 0}, {1, 1, 0}}, false);
    const AcDbPolyline& open = *openHeld;
    EXPECT_EQ(open.segType(0), AcDbPolyline::kLine);
    EXPECT_EQ(open.segType(1), AcDbPolyline::kArc);
    EXPECT_EQ(open.segType(2), AcDbPolyline::kCoincident);
    EXPECT_EQ(open.segType(3), AcDbPolyline::kEmpty) << "the end of an open polyline starts nothing";
    EXPECT_EQ(open.segType(4), AcDbPolyline::kEmpty);

    auto closedHeld = polyline({{0, 0, 0}, {1, 0, 0}, {1, 1, -1}}, true);
    const AcDbPolyline& closed = *closedHeld;
    EXPECT_EQ(closed.segType(2), AcDbPolyline::kArc) << "the closing segment takes the last bulge";
    EXPECT_EQ(polyline({{3, 4, 1}}, true)->segType(0), AcDbPolyline::kPoint);

    AcGeLineSeg2d seg;
    AcGeCircArc2d arc;
    EXPECT_EQ(open.getLineSegAt(1, seg), Acad::eWrongObjectType);
    EXPECT_EQ(open.getArcSegAt(0, arc), Acad::eWrongObjectType);
    EXPECT_EQ(open.getArcSegAt(3, arc), Acad::eWrongObjectType);
}

TEST(Polyline, ArcSegmentsRunFromStartToEndAngle)
{
    struct Row {
        double bulge;
        double radius;
    };
    // Chord (1,1)→(3,1), length 2.
    const Row rows[] = {{1, 1}, {-1, 1}, {0.5, 1.25}, {-0.5, 1.25}, {2, 1.25}, {-2, 1.25}, {std::tan(kPi / 24), 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bulge);
        auto pl = polyline({{1, 1, row.bulge}, {3, 1, 0}}, false);
        AcGeCircArc2d arc;
        ASSERT_EQ(pl->getArcSegAt(0, arc), Acad::eOk);
        double sweep = 4 * std::atan(std::fabs(row.bulge));
        EXPECT_NEAR(arc.endAng() - arc.startAng(), sweep, 1e-12) << "end exceeds start by the sweep";
        EXPECT_EQ(arc.isClockWise(), row.bulge < 0);
        if (row.radius > 0) {
            EXPECT_NEAR(arc.radius(), row.radius, 1e-12);
        }
        EXPECT_NEAR(arc.startPoint().x, 1, 1e-12);
        EXPECT_NEAR(arc.startPoint().y, 1, 1e-12);
        EXPECT_NEAR(arc.endPoint().x, 3, 1e-12);
        EXPECT_NEAR(arc.endPoint().y, 1, 1e-12);
        // A counter-clockwise arc bulges to the right of its chord, here below it.
        AcGePoint2d mid = arc.pointAt((arc.startAng() + arc.endAng()) / 2);
        EXPECT_EQ(mid.y<1, row.bulge> 0);
    }
}

TEST(Curves, Areas)
{
    struct Row {
        const char* name;
        std::shared_ptr<AcDbPolyline> pl;
        double area;
    };
    const Row rows[] = {
        {"square", polyline({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, true), 4},
        {"open square closes straight", polyline({{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 1}}, false), 4},
        {"outward semicircle", polyline({{0, 0, 1}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, true), 4 + kPi / 2},
        {"inward semicircle", polyline({{0, 0, -1}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, true), 4 - kPi / 2},
        {"clockwise, outward", polyline({{0, 0, 0}, {0, 2, 0}, {2, 2, 0}, {2, 0, -1}}, true), 4 + kPi / 2},
        {"circle of two arcs", polyline({{0, 0, 1}, {2, 0, 1}}, true), kPi},
        {"one vertex", polyline({{5, 5, 0}}, true), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        double area = -1;
        EXPECT_EQ(row.pl->getArea(area), Acad::eOk);
        EXPECT_NEAR(area, row.area, 1e-12);
    }

    AcDbCircle circle;
    circle.setRadius(3);
    double area = 0;
    circle.getArea(area);
    EXPECT_DOUBLE_EQ(area, 9 * kPi);
    AcDbArc half;
    half.setRadius(2);
    half.setStartAngle(kPi / 2);
    half.setEndAngle(-kPi / 2);
    half.getArea(area);
    EXPECT_NEAR(area, 2 * kPi, 1e-12) << "a half circle's segment is the half disc";
    AcDbLine line({0, 0, 0}, {5, 5, 0});
    line.getArea(area);
    EXPECT_EQ(area, 0);
}

// Survey coordinates: the products of absolute coordinates lose the digits
// of a small area. Vertices and areas are exact in binary.
TEST(Curves, AreasFarFromTheOrigin)
{
    struct Row {
        double x, y;
    };
    const Row origins[] = {{2500000.25, 5700000.5}, {-9999999.5, 1e7}, {1e6, -3e6}};
    const double w = 0.5, h = 0.48828125;  // 0.244140625
    for (const Row& o : origins) {
        SCOPED_TRACE(std::to_string(o.x) + ", " + std::to_string(o.y));
        double area = -1;
        polyline({{o.x, o.y, 0}, {o.x + w, o.y, 0}, {o.x + w, o.y + h, 0}, {o.x, o.y + h, 0}}, true)->getArea(area);
        EXPECT_NEAR(area, w * h, 1e-9);
        // A half disc of radius 0.25 on a 0.5 chord, and the same with a square.
        polyline({{o.x, o.y, 1}, {o.x + w, o.y, 0}}, true)->getArea(area);
        EXPECT_NEAR(area, kPi / 32, 1e-9);
        polyline({{o.x, o.y, 0}, {o.x + w, o.y, 0}, {o.x + w, o.y + w, 0}, {o.x, o.y + w, 1}}, true)->getArea(area);
        EXPECT_NEAR(area, w * w + kPi / 32, 1e-9);
    }
}

TEST(Curves, ExtentsAreExact)
{
    struct Row {
        const char* objects;
        AcGePoint3d min, max;
    };
    double s10 = 2 * std::sin(10 * kPi / 180), c10 = 2 * std::cos(10 * kPi / 180);
    const Row rows[] = {
        {R"({"type": "line", "start": [4, 1, 2], "end": [1, 3, 0]})", {1, 1, 0}, {4, 3, 2}},
        {R"({"type": "circle", "center": [1, 1, 5], "radius": 2})", {-1, -1, 5}, {3, 3, 5}},
        {R"({"type": "arc", "center": [0, 0], "radius": 2, "startAngle": 6.10865238198015, "endAngle": 0.174532925199433})",
         {c10, -s10, 0},
         {2, s10, 0}},
        {R"({"type": "lwpolyline", "vertices": [[0, 0, 1], [2, 0]], "elevation": 3})", {0, -1, 3}, {2, 0, 3}},
        {R"({"type": "lwpolyline", "vertices": [[0, 0, -1], [2, 0]]})", {0, 0, 0}, {2, 1, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.objects);
        std::string objects = std::string("[") + row.objects + "]";
        objects.insert(objects.find('{') + 1, R"("handle": "1A", )");
        testhost::Drawing d(objects);
        auto* entity = AcDbEntity::cast(HostAccess::objectAt(d.database(), d.idOf("1A")));
        ASSERT_NE(entity, nullptr);
        AcDbExtents box;
        ASSERT_EQ(entity->getGeomExtents(box), Acad::eOk);
        EXPECT_NEAR(box.minPoint().x, row.min.x, 1e-12);
        EXPECT_NEAR(box.minPoint().y, row.min.y, 1e-12);
        EXPECT_NEAR(box.minPoint().z, row.min.z, 1e-12);
        EXPECT_NEAR(box.maxPoint().x, row.max.x, 1e-12);
        EXPECT_NEAR(box.maxPoint().y, row.max.y, 1e-12);
        EXPECT_NEAR(box.maxPoint().z, row.max.z, 1e-12);
    }
}

TEST(CurveFile, ReadsAndWritesEveryKey)
{
    const std::string objects = R"([
      {"type": "line", "handle": "1A", "layer": "Edges", "start": [1, 2, 3], "end": [4, 5, 6]},
      {"type": "circle", "handle": "1B", "center": [1, 2, 0], "radius": 2.5},
      {"type": "arc", "handle": "1C", "center": [0, 0, 1], "radius": 2, "startAngle": -1.5, "endAngle": 7},
      {"type": "lwpolyline", "handle": "1D", "vertices": [[0, 0, 0.5], [1, 0]], "closed": true, "elevation": 2},
      {"type": "polyline2d", "handle": "1E", "vertices": [[0, 0], [3, 0, 1], [3, 4]], "closed": true, "fit": "curve"}
    ])";
    testhost::Drawing d(objects);
    std::string saved = drawingfile::toText(d.database());
    drawingfile::LoadResult again = drawingfile::loadFromText(saved, "saved");
    ASSERT_TRUE(again.database) << again.error;
    EXPECT_EQ(drawingfile::toText(*again.database), saved);

    AcDbObjectId id;
    again.database->getAcDbObjectId(id, false, AcDbHandle(0x1A));
    auto* line = AcDbLine::cast(HostAccess::objectAt(*again.database, id));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->layerName(), u"Edges");
    EXPECT_EQ(line->endPoint().z, 6);
    again.database->getAcDbObjectId(id, false, AcDbHandle(0x1C));
    auto* arc = AcDbArc::cast(HostAccess::objectAt(*again.database, id));
    ASSERT_NE(arc, nullptr);
    EXPECT_NEAR(arc->startAngle(), 2 * kPi - 1.5, 1e-12) << "angles are kept in one turn";
    EXPECT_NEAR(arc->endAngle(), 7 - 2 * kPi, 1e-12);
    again.database->getAcDbObjectId(id, false, AcDbHandle(0x1D));
    auto* pl = AcDbPolyline::cast(HostAccess::objectAt(*again.database, id));
    ASSERT_NE(pl, nullptr);
    double bulge = 0;
    pl->getBulgeAt(0, bulge);
    EXPECT_EQ(bulge, 0.5);
    EXPECT_TRUE(pl->isClosed());
    EXPECT_EQ(pl->elevation(), 2);
    again.database->getAcDbObjectId(id, false, AcDbHandle(0x1E));
    auto* kept = AcDb2dPolyline::cast(HostAccess::objectAt(*again.database, id));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->polyType(), AcDb2dPolyline::k2dFitCurvePoly);
    EXPECT_EQ(kept->numVerts(), 3u);
    double area = 0;
    kept->getArea(area);
    EXPECT_NEAR(area, 6 + kPi * 2 * 2 / 2, 1e-12) << "the path's own area, its arc included";
}

TEST(CurveFile, InvalidCurvesAreRefused)
{
    struct Row {
        const char* object;
        const char* message;
    };
    const Row rows[] = {
        {R"({"type": "circle", "center": [0, 0], "radius": -1})", "\"radius\" must be greater than 0"},
        {R"({"type": "circle", "center": [0, 0], "radius": 0})", "\"radius\" must be greater than 0"},
        {R"({"type": "circle", "center": [0, 0]})", "\"radius\" is missing"},
        {R"({"type": "circle", "center": [0, 0], "radius": "2"})", "\"radius\" must be a number"},
        {R"({"type": "circle", "center": [0], "radius": 1})", "\"center\" must be a point"},
        {R"({"type": "arc", "center": [0, 0], "radius": -2, "startAngle": 0, "endAngle": 1})",
         "\"radius\" must be greater than 0"},
        {R"({"type": "arc", "center": [0, 0], "radius": 2, "endAngle": 1})", "\"startAngle\" is missing"},
        {R"({"type": "arc", "center": [0, 0], "radius": 2, "startAngle": 0, "endAngle": null})",
         "\"endAngle\" must be a number"},
        {R"({"type": "line", "start": [0, 0]})", "\"end\" is missing"},
        {R"({"type": "line", "start": [0, 0], "end": [1, "y"]})", "\"end\" must hold finite numbers"},
        {R"({"type": "lwpolyline"})", "\"vertices\" must hold at least one vertex"},
        {R"({"type": "lwpolyline", "vertices": []})", "\"vertices\" must hold at least one vertex"},
        {R"({"type": "lwpolyline", "vertices": {"x": 1}})", "\"vertices\" must be an array"},
        {R"({"type": "lwpolyline", "vertices": [[0, 0], [1]]})", "\"vertices\"[1] must be [x, y] or [x, y, bulge]"},
        {R"({"type": "lwpolyline", "vertices": [[0, 0, "b"]]})", "\"vertices\"[0] must be [x, y] or [x, y, bulge]"},
        {R"({"type": "lwpolyline", "vertices": [[0, 0, 1, 1]]})", "\"vertices\"[0] must be [x, y] or [x, y, bulge]"},
        {R"({"type": "lwpolyline", "vertices": [[0, 0]], "closed": 1})", "\"closed\" must be true or false"},
        {R"({"type": "lwpolyline", "vertices": [[0, 0]], "elevation": "up"})", "\"elevation\" must be a number"},
        {R"({"type": "polyline2d", "vertices": []})", "\"vertices\" must hold at least one vertex"},
        {R"({"type": "polyline2d", "vertices": [[0, 0]], "fit": "bezier"})",
         "\"fit\" must be \"curve\", \"quadratic\" or \"cubic\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.object);
        std::string object = row.object;
        object.insert(1, R"("handle": "1A", )");
        std::string text = R"({"tesslyDrawing": 1, "objects": [)" + object + "]}";
        drawingfile::LoadResult r = drawingfile::loadFromText(text, "bad.json");
        EXPECT_EQ(r.database, nullptr);
        EXPECT_NE(r.error.find(row.message), std::string::npos) << r.error;
    }
}

}
