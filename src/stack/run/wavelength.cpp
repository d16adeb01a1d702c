#include "bperp/stack/run/wavelength.h"

#include <cmath>

#include "bperp/geometry/doppler_record.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

double doppler_scale(double wavelength) { return settings_wavelength_km / wavelength; }

double polynomial_doppler(const Acquisition& a, double slant_range_km) {
  if (!a.product || a.product->doppler_polynomial.empty()) return NAN;
  const double x = slant_range_km * units::metres_per_km - a.product->doppler_reference_range_m.value_or(0.0);
  double f = 0.0;
  for (std::size_t k = a.product->doppler_polynomial.size(); k-- > 0;)
    f = f * x + a.product->doppler_polynomial[k];
  return f;
}

double state_doppler(const StateVector& s, const double* T, double wavelength) {
  const double P[3] = {s.position[0], s.position[1], s.position[2]};
  double V[3];
  inertial_velocity(s, V);  // as the run forms it
  const double r = std::sqrt((P[0] * P[0] + P[1] * P[1]) + P[2] * P[2]);
  const double e_r[3] = {P[0] / r, P[1] / r, P[2] / r};
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  double block[doppler::size];
  // -2 (d rho/dt) f0 / c with the settings' carrier, turned to the wavelength.
  doppler_derivatives(P, V, r, e_r, T, L, setting::light_speed, setting::carrier_frequency, 0, block);
  return block[doppler::centroid] * doppler_scale(wavelength);
}

std::optional<double> product_wavelength(const Acquisition& a) {
  if (!a.product) return std::nullopt;
  if (a.product->wavelength_m) return *a.product->wavelength_m / units::metres_per_km;
  if (a.product->radar_frequency_hz)
    return units::speed_of_light_m_s / *a.product->radar_frequency_hz / units::metres_per_km;
  return std::nullopt;
}

RunWavelength reference_wavelength(const Acquisition& a, const TargetOptions& target) {
  if (target.wavelength) return {*target.wavelength, "option"};
  if (const std::optional<double> own = product_wavelength(a)) return {*own, "product"};
  if (target.sensor_wavelength) return {*target.sensor_wavelength, "sensor"};
  return {NAN, ""};
}

RunWavelength beam_wavelength(const TargetOptions& target) {
  if (target.wavelength) return {*target.wavelength, "option"};
  if (target.sensor_wavelength) return {*target.sensor_wavelength, "sensor"};
  return {settings_wavelength_km, "beam"};
}

std::string secondary_wavelength_source(const Acquisition& a, const TargetOptions& target,
                                        const std::string& reference_source) {
  if (target.wavelength) return "option";
  if (product_wavelength(a)) return "product";
  return reference_source;
}

namespace {

// How far (relative) a secondary product's own wavelength may lie from the
// run's before it counts as another: products of one sensor agree to far
// better than 1 %, C band (5.5 cm) and L band (23.6 cm) differ fourfold.
constexpr double wavelength_tolerance = 0.01;

// How far (relative) --wavelength may lie from what a product states before
// the difference is said: the wavelengths of one sensor's products differ by
// far less (a rounded 0.0555 for Sentinel-1's 0.055466 m is 0.06 % off).
constexpr double option_wavelength_tolerance = 0.001;

constexpr int metre_decimals = 6;

// The first of products whose own wavelength lies more than tolerance
// (relative) from used (km), its wavelength, and how many more do.
struct OtherWavelength {
  const Acquisition* first = nullptr;
  double wavelength = 0.0;  // km
  std::size_t others = 0;
};
OtherWavelength other_wavelengths(double used, const std::vector<const Acquisition*>& products,
                                  double tolerance) {
  OtherWavelength found;
  for (const Acquisition* a : products) {
    const std::optional<double> own = product_wavelength(*a);
    if (!own || std::fabs(*own - used) <= tolerance * used) continue;
    if (found.first == nullptr) found = {a, *own, 0};
    else ++found.others;
  }
  return found;
}

std::string metres_text(double km) { return fixed_text(km * units::metres_per_km, metre_decimals) + " m"; }

}  // namespace

std::string option_wavelength_warning(double used, const std::vector<const Acquisition*>& products) {
  const OtherWavelength other = other_wavelengths(used, products, option_wavelength_tolerance);
  if (other.first == nullptr) return {};
  return "--wavelength " + metres_text(used) + " is used, though " + other.first->name + " states " +
         metres_text(other.wavelength) +
         (other.others > 0 ? " (and " + std::to_string(other.others) +
                                 (other.others == 1 ? " more product another)" : " more products another)")
                           : std::string());
}

std::string settings_wavelength_warning(double used, const std::string& reference_name,
                                        const std::vector<const Acquisition*>& usable_secondaries) {
  const OtherWavelength other = other_wavelengths(used, usable_secondaries, wavelength_tolerance);
  if (other.first == nullptr) return {};
  return "the heights of ambiguity use the settings' wavelength " + metres_text(used) + " (" + reference_name +
         " gives none), but " + other.first->name + " gives " + metres_text(other.wavelength) +
         (other.others > 0 ? " (and " + std::to_string(other.others) + " more secondaries another)"
                           : std::string()) +
         ": give --wavelength or --sensor";
}

}  // namespace bperp::stack
