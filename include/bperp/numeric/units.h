// Unit conversions that the outputs and readers share. The computation
// itself works in km, km/s, s and rad; these turn its numbers into the units
// people and files use.
#pragma once

#include <numbers>

namespace bperp::units {

constexpr double metres_per_km = 1000.0;
constexpr double millimetres_per_metre = 1000.0;
constexpr double seconds_per_day = 86400.0;
constexpr double nanoseconds_per_second = 1e9;
// The speed of light in vacuum, m/s (exact by the SI's definition of the metre).
constexpr double speed_of_light_m_s = 299792458.0;

// Degrees of an angle in radians, and radians of one in degrees. (The
// baseline run keeps its own factor for the beam angle, on which its printed
// digits depend.)
constexpr double degrees(double radians) { return radians * (180.0 / std::numbers::pi); }
constexpr double radians(double degrees) { return degrees * (std::numbers::pi / 180.0); }

}  // namespace bperp::units
