// The part of the drawing file that lightweight and old-style 2D polylines
// share: "vertices" as [[x, y, bulge?], ...] (at least one), "closed" and
// "elevation". Each codec adds what is its own.
#pragma once

#include "replacement_host/file/JsonIn.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>

namespace drawingfile {

// Reads the vertices, closed flag and elevation into the polyline; add
// appends one vertex with its bulge.
template <class Polyline, class Add> void readPolylineVertices(const JsonIn& in, Polyline& pl, Add add)
{
    const std::vector<JsonValue> vertices = in.array("vertices");
    if (vertices.empty())
        in.fail("\"vertices\" must hold at least one vertex");
    for (size_t i = 0; i < vertices.size(); ++i) {
        const std::vector<JsonValue> v = vertices[i].elements();
        bool ok = vertices[i].isArray() && (v.size() == 2 || v.size() == 3);
        for (size_t k = 0; ok && k < v.size(); ++k)
            ok = v[k].isNumber() && std::isfinite(v[k].number());
        if (!ok)
            in.fail("\"vertices\"[" + std::to_string(i) + "] must be [x, y] or [x, y, bulge] of finite numbers");
        add(AcGePoint2d(v[0].number(), v[1].number()), v.size() == 3 ? v[2].number() : 0.0);
    }
    pl.setClosed(in.boolean("closed", false));
    pl.setElevation(in.number("elevation", 0.0));
}

template <class Polyline> void writePolylineVertices(const Polyline& pl, Json& j)
{
    Json vertices = Json::array();
    for (unsigned int i = 0; i < pl.numVerts(); ++i) {
        AcGePoint2d p;
        double bulge = 0.0;
        pl.getPointAt(i, p);
        pl.getBulgeAt(i, bulge);
        vertices.push_back(bulge == 0.0 ? Json::array({p.x, p.y}) : Json::array({p.x, p.y, bulge}));
    }
    j["vertices"] = vertices;
    j["closed"] = pl.isClosed();
    if (pl.elevation() != 0.0)
        j["elevation"] = pl.elevation();
}

}
