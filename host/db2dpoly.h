// AcDb2dPolyline: the old-style 2D polyline that drawings of newer releases
// keep as it is, and fit polylines always. Its path is a chain of 2D vertices
// at one elevation with bulges, as a lightweight polyline's: the vertices of
// a fitted curve, never the control points of a spline frame. The module's
// length and area fields do not measure it; its own Length and Area are those
// of the path.
#pragma once

#include "host/dbpl.h"

class AcDb2dPolyline : public AcDbCurve {
    ACRX_DECLARE_MEMBERS(AcDb2dPolyline)
public:
    enum Poly2dType : int {
        k2dSimplePoly = 0,       // vertices joined by straight and arc segments
        k2dFitCurvePoly = 1,     // curve-fit: arcs through the vertices
        k2dQuadSplinePoly = 2,   // spline-fit, quadratic
        k2dCubicSplinePoly = 3,  // spline-fit, cubic
    };

    AcDb2dPolyline() = default;

    Poly2dType polyType() const { return m_type; }
    void setPolyType(Poly2dType type) { m_type = type; }
    unsigned int numVerts() const { return m_path.numVerts(); }
    // Appends a vertex of the path; the bulge is that of the segment it starts.
    Acad::ErrorStatus appendVertex(const AcGePoint2d& pt, double bulge = 0.0)
    {
        return m_path.addVertexAt(m_path.numVerts(), pt, bulge);
    }
    Acad::ErrorStatus getPointAt(unsigned int index, AcGePoint2d& pt) const { return m_path.getPointAt(index, pt); }
    Acad::ErrorStatus getBulgeAt(unsigned int index, double& bulge) const { return m_path.getBulgeAt(index, bulge); }
    bool isClosed() const { return m_path.isClosed(); }
    void setClosed(bool closed) { m_path.setClosed(closed); }
    double elevation() const { return m_path.elevation(); }
    void setElevation(double elevation) { m_path.setElevation(elevation); }

    Acad::ErrorStatus getArea(double& area) const override { return m_path.getArea(area); }
    Acad::ErrorStatus getLength(double& length) const override { return m_path.getLength(length); }
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override { return m_path.getGeomExtents(extents); }

private:
    AcDbPolyline m_path;  // the geometry, never in a database
    Poly2dType m_type = k2dSimplePoly;
};
