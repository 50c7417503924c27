// AcDbPolyline: the lightweight polyline, a chain of 2D vertices at one
// elevation. Each vertex carries the bulge of the segment that starts there
// (tan of a quarter of the arc's sweep; positive counter-clockwise, 0 straight).
#pragma once

#include "host/dbmain.h"
#include "host/gearc2d.h"
#include "host/gelineseg2d.h"
#include "host/geometry.h"

#include <vector>

class AcDbPolyline : public AcDbCurve {
    ACRX_DECLARE_MEMBERS(AcDbPolyline)
public:
    // What starts at a vertex, numbered as the host numbers it.
    enum SegType : int {
        kLine = 0,        // a straight segment
        kArc = 1,         // an arc segment
        kCoincident = 2,  // a segment whose two ends coincide
        kPoint = 3,       // the only vertex of a one-vertex polyline
        kEmpty = 4,       // no segment: past the last vertex, or the end of an open polyline
    };

    AcDbPolyline() = default;
    // Room for this many vertices, as the host's constructor gives.
    explicit AcDbPolyline(unsigned int numVerts) { m_vertices.reserve(numVerts); }

    unsigned int numVerts() const { return static_cast<unsigned int>(m_vertices.size()); }
    // Inserts before index (index == numVerts appends). Bulge must be finite.
    Acad::ErrorStatus addVertexAt(unsigned int index, const AcGePoint2d& pt, double bulge = 0.0);
    Acad::ErrorStatus getPointAt(unsigned int index, AcGePoint2d& pt) const;
    Acad::ErrorStatus getBulgeAt(unsigned int index, double& bulge) const;
    Acad::ErrorStatus setBulgeAt(unsigned int index, double bulge);
    bool isClosed() const { return m_closed; }
    void setClosed(bool closed) { m_closed = closed; }
    double elevation() const { return m_elevation; }
    void setElevation(double elevation) { m_elevation = elevation; }

    SegType segType(unsigned int index) const;
    // The segment starting at index; eWrongObjectType when it is not of that kind.
    Acad::ErrorStatus getLineSegAt(unsigned int index, AcGeLineSeg2d& seg) const;
    Acad::ErrorStatus getArcSegAt(unsigned int index, AcGeCircArc2d& arc) const;

    // The area enclosed when the polyline is taken as closed, arcs included;
    // an open polyline closes with a straight segment.
    Acad::ErrorStatus getArea(double& area) const override;
    // The exact box of its segments at its elevation.
    Acad::ErrorStatus getGeomExtents(AcDbExtents& extents) const override;

    Acad::ErrorStatus getLength(double& length) const override;

private:
    struct Vertex {
        AcGePoint2d point;
        double bulge = 0.0;
    };
    // Vertices come from the objects' own pool: a drawing holds many
    // polylines of a few vertices each.
    template <class T> struct PoolAllocator {
        using value_type = T;
        PoolAllocator() = default;
        template <class U> PoolAllocator(const PoolAllocator<U>&) {}
        T* allocate(size_t n) { return static_cast<T*>(AcDbObject::operator new(n * sizeof(T))); }
        void deallocate(T* p, size_t n) { AcDbObject::operator delete(p, n * sizeof(T)); }
        template <class U> bool operator==(const PoolAllocator<U>&) const { return true; }
    };
    // The index of the vertex a segment from index ends at.
    unsigned int nextIndex(unsigned int index) const { return index + 1 == numVerts() ? 0 : index + 1; }
    std::vector<Vertex, PoolAllocator<Vertex>> m_vertices;
    bool m_closed = false;
    double m_elevation = 0.0;
};
