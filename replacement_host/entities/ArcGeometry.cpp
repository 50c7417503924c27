// Arc arithmetic; see the header.
#include "replacement_host/entities/ArcGeometry.h"

#include <cmath>

namespace arcgeometry {

double normalized(double radians)
{
    double a = std::fmod(radians, kTwoPi);
    if (a < 0)
        a += kTwoPi;
    // fmod of a tiny negative angle plus 2π rounds to 2π itself.
    return a >= kTwoPi ? 0.0 : a;
}

void addArcExtents(AcDbExtents& extents, const AcGePoint2d& center, double radius, double startAngle, double sweep,
                   double z)
{
    auto add = [&](double angle) {
        extents.addPoint({center.x + radius * std::cos(angle), center.y + radius * std::sin(angle), z});
    };
    add(startAngle);
    add(startAngle + sweep);
    // The axis points the arc passes through.
    for (int k = 0; k < 4; ++k) {
        double axis = k * std::numbers::pi / 2;
        if (normalized(axis - startAngle) <= sweep)
            add(axis);
    }
}

double bulgeSweep(double bulge) { return 4.0 * std::atan(std::fabs(bulge)); }

AcGeCircArc2d arcFromBulge(const AcGePoint2d& p1, const AcGePoint2d& p2, double bulge)
{
    double dx = p2.x - p1.x, dy = p2.y - p1.y;
    double chord = std::hypot(dx, dy);
    // The centre lies on the chord's perpendicular bisector, left of p1→p2 for
    // a positive bulge under a half turn, right beyond it; the signed offset covers both.
    double offset = chord * (1.0 - bulge * bulge) / (4.0 * bulge);
    AcGePoint2d center{(p1.x + p2.x) / 2 - dy / chord * offset, (p1.y + p2.y) / 2 + dx / chord * offset};
    double radius = chord * (1.0 + bulge * bulge) / (4.0 * std::fabs(bulge));
    bool clockwise = bulge < 0;
    double vx = p1.x - center.x, vy = p1.y - center.y;
    double start = normalized(clockwise ? std::atan2(-vy, vx) : std::atan2(vy, vx));
    return AcGeCircArc2d(center, radius, start, start + bulgeSweep(bulge), clockwise);
}

}
