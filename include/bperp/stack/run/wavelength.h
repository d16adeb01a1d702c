// The radar wavelength of a run and the Doppler centroids it scales: which
// wavelength a reference gives (the options, the product's own, the
// settings'), and the Doppler centroid of a product's polynomial or of a
// state vector looking at the scene point.
//
// Units: wavelengths in km, ranges in km, Doppler in Hz.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/geometry/state_vector.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// What turns a Doppler frequency of the beam geometry, worked at the
// settings' wavelength c / f0 (L band, 0.236 m), into the one at the
// wavelength (km): f = -2 (d rho/dt) / lambda, so the factor is
// settings_wavelength_km / wavelength, exactly 1 at the settings' own.
double doppler_scale(double wavelength);

// The Doppler centroid (Hz) of a product that gives it as a polynomial in
// slant range, at the slant range (km) of the target; NaN otherwise.
double polynomial_doppler(const Acquisition& a, double slant_range_km);

// The Doppler centroid (Hz) of a satellite with the earth-fixed state s
// (km, km/s) looking at the scene point T (km) turning with the earth, at
// the wavelength (km): the Doppler stage of the beam geometry.
double state_doppler(const StateVector& s, const double* T, double wavelength);

// A product's own radar wavelength (km): its wavelength, else c over its
// radar frequency; nullopt for an acquisition that is no product or a
// product that gives neither.
std::optional<double> product_wavelength(const Acquisition& a);

// A wavelength (km) and where it came from ("option" for --wavelength,
// "product", "sensor" for --sensor, "beam" for the beam geometry's); no
// source and NaN for a reference that states none without either option.
struct RunWavelength {
  double km = 0.0;
  std::string source;
};

// The wavelength of a zero-Doppler reference: --wavelength, else the
// product's, else --sensor's; none for a dated orbit or a product that
// states none.
RunWavelength reference_wavelength(const Acquisition& a, const TargetOptions& target);

// The wavelength of a state-vector reference's beam geometry:
// --wavelength, else --sensor's, else the settings' c / f0 (the L band of
// the system bperp computes for).
RunWavelength beam_wavelength(const TargetOptions& target);

// Where the wavelength of a secondary input's numbers comes from:
// "option" with --wavelength, else "product" where its product states one,
// else the reference's source.
std::string secondary_wavelength_source(const Acquisition& a, const TargetOptions& target,
                                        const std::string& reference_source);

// A warning when --wavelength (used, km) differs by more than 0.1 % from
// what a product (of products) states, naming the first and both values and
// counting the others; "" otherwise.
std::string option_wavelength_warning(double used, const std::vector<const Acquisition*>& products);

// A warning when the run's wavelength (km) is the settings' and some of
// the usable product secondaries give another of their own (more than 1 %
// away), naming the first and counting the others; "" otherwise.
// reference_name is the reference's, which gives none.
std::string settings_wavelength_warning(double used, const std::string& reference_name,
                                        const std::vector<const Acquisition*>& usable_secondaries);

}  // namespace bperp::stack
