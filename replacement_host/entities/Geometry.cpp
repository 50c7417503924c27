// Point distances, extents boxes and the global tolerance.
#include "host/acutads.h"
#include "host/geometry.h"

#include <algorithm>

AcGeTol AcGeContext::gTol;

double AcGePoint3d::distanceTo(const AcGePoint3d& p) const
{
    return std::sqrt((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) + (p.z - z) * (p.z - z));
}

double acutDistance(const AcGePoint3d& p1, const AcGePoint3d& p2) { return p1.distanceTo(p2); }

void AcDbExtents::addPoint(const AcGePoint3d& p)
{
    if (m_empty) {
        m_min = m_max = p;
        m_empty = false;
        return;
    }
    m_min = {std::min(m_min.x, p.x), std::min(m_min.y, p.y), std::min(m_min.z, p.z)};
    m_max = {std::max(m_max.x, p.x), std::max(m_max.y, p.y), std::max(m_max.z, p.z)};
}

void AcDbExtents::addExt(const AcDbExtents& other)
{
    if (other.m_empty)
        return;
    addPoint(other.m_min);
    addPoint(other.m_max);
}
