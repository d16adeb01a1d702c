// The coherence a pair of acquisitions can be expected to have, modelled
// from its baselines, for choosing pairs by it rather than by two hard
// limits:
//
//   gamma = gamma_geometric * gamma_temporal * gamma_doppler
//   gamma_geometric = max(0, 1 - |B_perp| / B_c),
//     B_c = lambda B_r R tan(theta) / c, the critical perpendicular baseline
//     (B_r the range bandwidth, R the slant range, theta the incidence angle
//     at the target, all of the reference; c the speed of light);
//   gamma_temporal = (gamma_0 - gamma_inf) exp(-|dt| / tau) + gamma_inf,
//     gamma_0 = 1 / (1 + 10^(-SNR / 10)), the decorrelation of thermal noise;
//   gamma_doppler = max(0, 1 - |delta f_dc| / B_az), B_az the azimuth bandwidth.
//
// For the zero-Doppler geometry of Sentinel-1 TOPS products the Doppler
// term is 1: their Doppler centroid sweeps within each burst, and the bursts
// of a repeat pass are synchronised, so no single centroid difference
// applies.
#pragma once

#include <cmath>
#include <optional>
#include <string>

namespace bperp::stack {

// The model's constants; the defaults as documented.
struct CoherenceParameters {
  double tau_days = 200.0;   // the temporal decorrelation's time constant
  double gamma_inf = 0.2;    // the coherence left after a long time
  double snr_db = 22.0;      // signal to noise ratio of one image, dB
};

// Why parameters make no model ("" when they do): a floor gamma_inf above
// gamma_0, the coherence at zero time, with which the modelled coherence
// would grow with the time between the acquisitions. A floor equal to
// gamma_0 is a model without temporal decorrelation.
std::string coherence_parameters_problem(const CoherenceParameters& parameters);

// What a stack gives the model: the reference's wavelength, slant range and
// incidence at the target, the bandwidths (NaN when unknown) and whether
// the Doppler term is 1 (TOPS).
struct CoherenceModel {
  CoherenceParameters parameters;
  double wavelength_m = NAN;
  double slant_range_m = NAN;
  double incidence_rad = NAN;
  double range_bandwidth_hz = NAN;
  double azimuth_bandwidth_hz = NAN;
  bool doppler_term_is_one = false;

  // B_c, m; NaN without the range bandwidth.
  double critical_baseline() const;
  // lambda R sin(theta) / (2 B_perp), m; NaN for B_perp 0.
  double height_of_ambiguity(double perpendicular_m) const;
  // gamma_0 of the SNR.
  double gamma0() const;
  // The modelled coherence of a pair B_perp (m) and dt (days) apart whose
  // Doppler centroids differ by delta_fdc (Hz; NaN when not known, which
  // takes the Doppler term as 1). NaN without the range bandwidth.
  double coherence(double perpendicular_m, double days, double delta_fdc_hz) const;
};

// The model as many pairs use it: what every pair shares (B_c, gamma_0 and
// lambda R sin(theta)) worked out once, each pair's values then bit for bit
// those of the model's own functions.
class PairModel {
 public:
  explicit PairModel(const CoherenceModel& model);

  const CoherenceModel& model() const { return model_; }
  // B_c, m; NaN without the range bandwidth.
  double critical_baseline() const { return critical_baseline_; }
  // lambda R sin(theta) / (2 B_perp), m; NaN for B_perp 0.
  double height_of_ambiguity(double perpendicular_m) const {
    return perpendicular_m == 0.0 ? NAN : ambiguity_m2_ / (2.0 * perpendicular_m);
  }
  // As CoherenceModel::coherence.
  double coherence(double perpendicular_m, double days, double delta_fdc_hz) const;
  // Whether coherence can be a number: B_c finite and positive (the days
  // must still be known).
  bool gives_coherence() const { return std::isfinite(critical_baseline_) && critical_baseline_ > 0.0; }

 private:
  CoherenceModel model_;
  double critical_baseline_;  // m
  double gamma0_;
  double ambiguity_m2_;       // lambda R sin(theta), m^2
};

}  // namespace bperp::stack
