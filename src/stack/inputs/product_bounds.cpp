#include "bperp/stack/inputs/product_bounds.h"

#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

constexpr double km = units::metres_per_km;

// "" when lowest <= value <= highest, else "it must lie between A and B unit".
std::string outside(double value, double lowest, double highest, const std::string& low_text,
                    const std::string& high_text, const std::string& what) {
  if (value >= lowest && value <= highest) return {};
  return what + " lies between " + low_text + " and " + high_text;
}

// The least and greatest coordinate (m) of a projection's valid area.
struct Span {
  double least, greatest;
};

}  // namespace

std::string radar_frequency_problem(double hz) {
  return outside(hz, min_radar_frequency_hz, max_radar_frequency_hz, "0.1", "100 GHz", "a SAR's radar frequency");
}

std::string wavelength_problem(double metres) {
  return outside(metres, units::speed_of_light_m_s / max_radar_frequency_hz,
                 units::speed_of_light_m_s / min_radar_frequency_hz, "3 mm", "3 m (0.1 to 100 GHz)",
                 "a SAR's wavelength");
}

std::string slant_range_problem(double metres) {
  return outside(metres, min_slant_range_m, max_slant_range_m, "100", "3,000 km", "a satellite's slant range");
}

std::string bandwidth_problem(double hz, std::optional<double> radar_frequency_hz) {
  if (!(hz > 0.0)) return "a bandwidth is positive";
  if (radar_frequency_hz && !(hz < *radar_frequency_hz))
    return "a bandwidth lies below the radar frequency (" + round_trip_text(*radar_frequency_hz) + " Hz)";
  return {};
}

bool utm_or_ups(long long code) {
  return (code >= 32601 && code <= 32660) || (code >= 32701 && code <= 32760) || code == 32661 || code == 32761;
}

std::string map_coordinate_problem(long long epsg, bool easting, double metres) {
  const bool north = epsg < 32700;
  const bool ups = epsg == 32661 || epsg == 32761;
  Span span{};
  if (ups) span = north ? Span{1200 * km, 2800 * km} : Span{700 * km, 3300 * km};
  else if (easting) span = Span{0.0, 1000 * km};
  else span = north ? Span{-9100 * km, 9600 * km} : Span{900 * km, 19600 * km};
  const std::string what = std::string(easting ? "an easting" : "a northing") + " of EPSG " + std::to_string(epsg);
  return outside(metres, span.least, span.greatest, fixed_text(span.least / km, 0),
                 fixed_text(span.greatest / km, 0) + " km", what);
}

}  // namespace bperp::stack
