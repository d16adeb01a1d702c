#include "bperp/stack/network/coherence.h"

#include <algorithm>
#include <cstdio>

#include "bperp/numeric/units.h"

namespace bperp::stack {

double CoherenceModel::critical_baseline() const {
  // B_c = lambda B_r R tan(theta) / c
  return wavelength_m * range_bandwidth_hz * slant_range_m * std::tan(incidence_rad) /
         units::speed_of_light_m_s;
}

double CoherenceModel::height_of_ambiguity(double perpendicular_m) const {
  return PairModel(*this).height_of_ambiguity(perpendicular_m);
}

double CoherenceModel::gamma0() const { return 1.0 / (1.0 + std::pow(10.0, -parameters.snr_db / 10.0)); }

std::string coherence_parameters_problem(const CoherenceParameters& parameters) {
  CoherenceModel model;
  model.parameters = parameters;
  const double g0 = model.gamma0();
  if (!(parameters.gamma_inf > g0)) return {};
  char text[256];
  std::snprintf(text, sizeof text,
                "the coherence floor %g (--coherence-floor) is above %.6f, the model's coherence at "
                "zero time for --snr %g dB: give a lower --coherence-floor or a higher --snr",
                parameters.gamma_inf, g0, parameters.snr_db);
  return text;
}

double CoherenceModel::coherence(double perpendicular_m, double days, double delta_fdc_hz) const {
  return PairModel(*this).coherence(perpendicular_m, days, delta_fdc_hz);
}

PairModel::PairModel(const CoherenceModel& model)
    : model_(model), critical_baseline_(model.critical_baseline()), gamma0_(model.gamma0()),
      ambiguity_m2_(model.wavelength_m * model.slant_range_m * std::sin(model.incidence_rad)) {}

double PairModel::coherence(double perpendicular_m, double days, double delta_fdc_hz) const {
  const double bc = critical_baseline_;
  if (!std::isfinite(bc) || !(bc > 0.0) || !std::isfinite(days)) return NAN;
  const double geometric = std::max(0.0, 1.0 - std::fabs(perpendicular_m) / bc);
  const double g0 = gamma0_, inf = model_.parameters.gamma_inf;
  const double temporal = (g0 - inf) * std::exp(-std::fabs(days) / model_.parameters.tau_days) + inf;
  double doppler = 1.0;
  const double b_az = model_.azimuth_bandwidth_hz;
  if (!model_.doppler_term_is_one && std::isfinite(delta_fdc_hz) && std::isfinite(b_az) && b_az > 0.0)
    doppler = std::max(0.0, 1.0 - std::fabs(delta_fdc_hz) / b_az);
  return geometric * temporal * doppler;
}

}  // namespace bperp::stack
