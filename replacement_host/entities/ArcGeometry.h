// Arc arithmetic the curve entities share: angles brought into one turn,
// the box of a counter-clockwise arc, and the arc a polyline bulge describes.
#pragma once

#include "host/gearc2d.h"
#include "host/geometry.h"

#include <numbers>

namespace arcgeometry {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The angle brought into [0, 2π).
double normalized(double radians);

// Adds to the box the arc from startAngle counter-clockwise over sweep, at height z.
void addArcExtents(AcDbExtents& extents, const AcGePoint2d& center, double radius, double startAngle, double sweep,
                   double z);

// The arc from p1 to p2 with this bulge (not 0); p1 and p2 must differ.
AcGeCircArc2d arcFromBulge(const AcGePoint2d& p1, const AcGePoint2d& p2, double bulge);

// The angle a bulge sweeps.
double bulgeSweep(double bulge);

}
