// Points, tolerances and extents boxes: the small geometry vocabulary the
// module and the host share.
#pragma once

#include <cmath>

struct AcGePoint2d {
    double x = 0.0, y = 0.0;
    AcGePoint2d() = default;
    AcGePoint2d(double px, double py) : x(px), y(py) {}
    double distanceTo(const AcGePoint2d& p) const { return std::hypot(p.x - x, p.y - y); }
};

struct AcGePoint3d {
    double x = 0.0, y = 0.0, z = 0.0;
    AcGePoint3d() = default;
    AcGePoint3d(double px, double py, double pz) : x(px), y(py), z(pz) {}
    double distanceTo(const AcGePoint3d& p) const;
};

class AcGeTol {
public:
    double equalPoint() const { return m_equalPoint; }
    double equalVector() const { return m_equalVector; }
    void setEqualPoint(double value) { m_equalPoint = value; }

private:
    double m_equalPoint = 1e-10;
    double m_equalVector = 1e-12;
};

struct AcGeContext {
    // The global tolerance every geometric comparison uses.
    static AcGeTol gTol;
};

class AcDbExtents {
public:
    AcDbExtents() = default;
    AcDbExtents(const AcGePoint3d& minPoint, const AcGePoint3d& maxPoint)
        : m_min(minPoint), m_max(maxPoint), m_empty(false)
    {
    }
    const AcGePoint3d& minPoint() const { return m_min; }
    const AcGePoint3d& maxPoint() const { return m_max; }
    bool isEmpty() const { return m_empty; }
    void addPoint(const AcGePoint3d& p);
    void addExt(const AcDbExtents& other);

private:
    AcGePoint3d m_min, m_max;
    bool m_empty = true;
};
