#include "bperp/stack/geometry/map_grid.h"

#include <cmath>
#include <exception>

#include "bperp/numeric/units.h"

#if defined(BPERP_HAVE_GEOGRAPHICLIB)
#include <GeographicLib/UTMUPS.hpp>
#endif

namespace bperp::stack {

namespace {

// The zone (0 for UPS) and hemisphere of an EPSG code of WGS84 UTM / UPS.
bool zone_of(int epsg, int* zone, bool* north) {
  constexpr int utm_north = 32600, utm_south = 32700, ups = 61, zones = 60;
  const int base = epsg >= utm_south ? utm_south : utm_north;
  const int z = epsg - base;
  if ((base == utm_north || base == utm_south) && z >= 1 && z <= zones) {
    *zone = z;
    *north = base == utm_north;
    return true;
  }
  if (z == ups) {
    *zone = 0;
    *north = base == utm_north;
    return true;
  }
  return false;
}

}  // namespace

bool map_grids_supported() {
#if defined(BPERP_HAVE_GEOGRAPHICLIB)
  return true;
#else
  return false;
#endif
}

std::optional<Geodetic> map_to_geodetic(int epsg, double x, double y, double height, std::string* problem) {
  int zone = 0;
  bool north = true;
  if (!zone_of(epsg, &zone, &north)) {
    *problem = "EPSG:" + std::to_string(epsg) + " is no UTM or UPS projection of WGS84";
    return std::nullopt;
  }
#if defined(BPERP_HAVE_GEOGRAPHICLIB)
  try {
    double latitude = 0.0, longitude = 0.0;
    GeographicLib::UTMUPS::Reverse(zone, north, x, y, latitude, longitude);
    Geodetic g;
    g.latitude = units::radians(latitude);
    g.longitude = units::radians(longitude);
    g.height = height;
    return g;
  } catch (const std::exception& e) {
    *problem = "the map coordinates (" + std::to_string(x) + ", " + std::to_string(y) + ") of EPSG:" +
               std::to_string(epsg) + " are out of its range: " + e.what();
    return std::nullopt;
  }
#else
  (void)x;
  (void)y;
  (void)height;
  *problem = "this bperp-stack was built without GeographicLib (Debian package libgeographiclib-dev): "
             "it cannot turn map coordinates into latitude and longitude";
  return std::nullopt;
#endif
}

}  // namespace bperp::stack
