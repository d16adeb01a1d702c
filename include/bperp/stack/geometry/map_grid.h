// The map grids of geocoded products: UTM and UPS coordinates (EPSG codes
// 326zz and 327zz for the north and south zones, 32661 and 32761 for the
// polar ones) turned into geodetic latitude and longitude on WGS84 by
// GeographicLib, and the targets of a grid over such a product.
#pragma once

#include <optional>
#include <string>

#include "bperp/stack/geometry/wgs84.h"

namespace bperp::stack {

// Whether this build converts map coordinates (GeographicLib was found).
bool map_grids_supported();

// The geodetic point (latitude and longitude rad; height km as given) of
// easting x and northing y (m) in the projection of the EPSG code. nullopt
// and *problem for another code, coordinates outside the zone's range, or a
// build without GeographicLib.
std::optional<Geodetic> map_to_geodetic(int epsg, double x, double y, double height, std::string* problem);

}  // namespace bperp::stack
