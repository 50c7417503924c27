// Old-style 2D polylines: their geometry is that of a lightweight polyline
// through the vertices of their path; see the header.
#include "host/db2dpoly.h"

ACRX_DEFINE_MEMBERS(AcDb2dPolyline, AcDbCurve)
