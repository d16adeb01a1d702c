// The bounds a product's values are checked against where they are read:
// what a spaceborne SAR's radar, image and map grid can be. A value beyond
// them is no measurement (a damaged or hostile file, a unit slip) and is
// refused naming its field and the bound, rather than carried into the
// geometry.
#pragma once

#include <optional>
#include <string>

namespace bperp::stack {

// The radar frequencies of SARs, Hz: 0.1 to 100 GHz (P band to W band), and
// the wavelengths of those, m (about 3 mm to 3 m).
constexpr double min_radar_frequency_hz = 0.1e9;
constexpr double max_radar_frequency_hz = 100e9;

// The slant ranges of a satellite's image, m: 100 to 3,000 km.
constexpr double min_slant_range_m = 100e3;
constexpr double max_slant_range_m = 3000e3;

// Each problem function gives "" for a value within its bound, else the
// clause that says the bound ("a SAR's radar frequency lies between ...").

// A radar frequency (Hz).
std::string radar_frequency_problem(double hz);

// A radar wavelength (m).
std::string wavelength_problem(double metres);

// A slant range (m) of a satellite's image.
std::string slant_range_problem(double metres);

// A bandwidth (Hz): positive, and below the radar frequency when it is known.
std::string bandwidth_problem(double hz, std::optional<double> radar_frequency_hz);

// True for the EPSG codes of the WGS84 UTM zones (32601-32660 north,
// 32701-32760 south) and of UPS (32661 north, 32761 south).
bool utm_or_ups(long long epsg);

// A map coordinate (m) of the projection of epsg (UTM or UPS), an easting
// (x) or a northing: inside the area the projection is valid for (as
// GeographicLib's UTMUPS takes it: UTM eastings 0 to 1,000 km, northings
// -9,100 to 9,600 km north and 900 to 19,600 km south; UPS 1,200 to
// 2,800 km north and 700 to 3,300 km south).
std::string map_coordinate_problem(long long epsg, bool easting, double metres);

}  // namespace bperp::stack
