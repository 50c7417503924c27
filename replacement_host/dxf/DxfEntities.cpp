// DXF entity makers; see the header. Angles in DXF are degrees.
#include "replacement_host/dxf/DxfEntities.h"
#include "replacement_host/HostAccess.h"

#include "host/dbarc.h"
#include "host/dbcircle.h"
#include "host/dbline.h"
#include "host/dbpl.h"
#include "host/dbpoint.h"
#include "host/dbtext.h"

#include <numbers>
#include <vector>

namespace dxf {

AcGePoint3d point(const Record& r, int xCode, const AcGePoint3d& fallback)
{
    return {r.number(xCode, fallback.x), r.number(xCode + 10, fallback.y), r.number(xCode + 20, fallback.z)};
}

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

std::unique_ptr<AcDbEntity> makeLine(const Record& r)
{
    auto line = std::make_unique<AcDbLine>();
    line->setStartPoint(point(r, 10));
    line->setEndPoint(point(r, 11));
    return line;
}

std::unique_ptr<AcDbEntity> makeCircle(const Record& r)
{
    auto circle = std::make_unique<AcDbCircle>();
    circle->setCenter(point(r, 10));
    if (circle->setRadius(r.number(40, 0.0)) != Acad::eOk)
        return nullptr;
    return circle;
}

std::unique_ptr<AcDbEntity> makeArc(const Record& r)
{
    auto arc = std::make_unique<AcDbArc>();
    arc->setCenter(point(r, 10));
    if (arc->setRadius(r.number(40, 0.0)) != Acad::eOk)
        return nullptr;
    arc->setStartAngle(r.number(50, 0.0) * kDegree);
    arc->setEndAngle(r.number(51, 360.0) * kDegree);
    return arc;
}

// Vertices are 10/20 pairs; a 42 bulge belongs to the vertex before it.
std::unique_ptr<AcDbEntity> makeLwPolyline(const Record& r)
{
    unsigned xs = 0;
    for (size_t i = 0; i < r.size; ++i)
        xs += r.items[i].code == 10;
    auto pl = std::make_unique<AcDbPolyline>(xs);
    double x = 0;
    bool haveX = false;
    for (size_t i = 0; i < r.size; ++i) {
        const Record::Item& item = r.items[i];
        if (item.code == 10) {
            x = r.toNumber(item);
            haveX = true;
        } else if (item.code == 20 && haveX) {
            pl->addVertexAt(pl->numVerts(), {x, r.toNumber(item)});
            haveX = false;
        } else if (item.code == 42 && pl->numVerts() > 0) {
            pl->setBulgeAt(pl->numVerts() - 1, r.toNumber(item));
        }
    }
    if (pl->numVerts() == 0)
        return nullptr;
    pl->setClosed((r.integer(70, 0) & 1) != 0);
    pl->setElevation(r.number(38, 0.0));
    return pl;
}

std::unique_ptr<AcDbEntity> makePoint(const Record& r)
{
    auto p = std::make_unique<AcDbPoint>();
    p->setPosition(point(r, 10));
    return p;
}

// Fields of texts are made by the loader once every handle of the file is taken.
template <class T> std::unique_ptr<T> textOf(const Record& r, const AcString& contents)
{
    auto text = std::make_unique<T>();
    HostAccess::hostSetMakesOwnFields(*text, false);
    text->setTextString(contents.c_str());
    text->setPosition(point(r, 10));
    text->setHeight(r.number(40, 2.5));
    return text;
}

std::unique_ptr<AcDbEntity> makeText(const Record& r) { return textOf<AcDbText>(r, r.wide(1)); }

// Long contents come in 250-character pieces (group 3) before the last (group 1).
std::unique_ptr<AcDbEntity> makeMText(const Record& r)
{
    std::string bytes;
    for (size_t i = 0; i < r.size; ++i)
        if (r.items[i].code == 3)
            bytes += r.items[i].value;
    bytes += r.text(1);
    return textOf<AcDbMText>(r, r.decode(bytes));
}

struct Kind {
    std::string_view type;
    EntityMaker make;
};

constexpr Kind kKinds[] = {
    {"LINE", makeLine},   {"CIRCLE", makeCircle}, {"ARC", makeArc},     {"LWPOLYLINE", makeLwPolyline},
    {"POINT", makePoint}, {"TEXT", makeText},     {"MTEXT", makeMText},
};

}

EntityMaker entityMaker(std::string_view type)
{
    for (const Kind& k : kKinds)
        if (k.type == type)
            return k.make;
    return nullptr;
}

}
