#include "stack/stack_baseline.h"

#include <cmath>
#include <limits>

#include "app/settings.h"
#include "baseline/baseline.h"
#include "earth/earth_model.h"
#include "geometry/doppler_record.h"

namespace bperp::stack {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// The ellipsoid of the scene point (GRS80, model 1 of the earth-model table).
constexpr int scene_earth_model = 1;

bool all_finite(const StateVector& s) {
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(s.position[i]) || !std::isfinite(s.velocity[i])) return false;
  return true;
}

double norm(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

ReferenceGeometry reference_geometry(const StateVector& reference) {
  ReferenceGeometry g;
  g.state = reference;
  // The reference against itself: the scene point and the Doppler record
  // come out exactly as in every run with this master.
  const BaselineRun run = run_baseline(reference, reference);
  g.status = run.status;
  if (g.status != RunStatus::ok) return g;

  g.slant_range = run.slant_range;
  for (int i = 0; i < 3; ++i) g.scene_point[i] = run.scene_point[i];
  g.incidence = run.incidence;
  g.off_nadir = run.off_nadir;
  g.doppler_centroid = run.doppler_centroid;
  g.doppler_rate = run.doppler_rate;
  const DVector settings = processing_parameters();
  g.wavelength = settings[param::light_speed] / settings[param::carrier_frequency];

  double geodetic_record[geodetic::size];
  earth_r2(g.scene_point[0], g.scene_point[1], g.scene_point[2], geodetic_record,
           scene_earth_model);
  g.latitude = geodetic_record[geodetic::latitude];
  g.longitude = geodetic_record[geodetic::longitude];
  g.height = geodetic_record[geodetic::height];

  g.data_m = state_vector_matrix(reference);
  g.fdm = dvector(0, fdm_slot::high);
  for (int i = 0; i <= fdm_slot::high; ++i) g.fdm[i] = 0.0;
  g.fdm[fdm_slot::centroid] = run.doppler_centroid;
  g.fdm[fdm_slot::rate] = run.doppler_rate;
  g.fdm[fdm_slot::scene_x] = run.scene_point[0];
  g.fdm[fdm_slot::scene_y] = run.scene_point[1];
  g.fdm[fdm_slot::scene_z] = run.scene_point[2];
  g.fdm[fdm_slot::rate2] = run.doppler_rate2;
  g.fdm[fdm_slot::rate3] = run.doppler_rate3;
  g.fdm[fdm_slot::incidence] = run.incidence;
  g.fdm[fdm_slot::off_nadir] = run.off_nadir;
  return g;
}

StackBaseline stack_baseline(const ReferenceGeometry& reference, const StateVector& secondary) {
  StackBaseline b;
  if (!all_finite(secondary)) {
    b.status = RunStatus::not_finite_input;
    return b;
  }
  const DMatrix data_s = state_vector_matrix(secondary);
  base_cal1(reference.data_m, data_s, reference.fdm, &b.parallel, &b.perpendicular);

  const double B[3] = {reference.state.position[0] - secondary.position[0],
                       reference.state.position[1] - secondary.position[1],
                       reference.state.position[2] - secondary.position[2]};
  b.length = norm(B);
  const double speed = norm(secondary.velocity);
  b.along_track = (speed > 0.0) ? (B[0] * secondary.velocity[0] + B[1] * secondary.velocity[1] +
                                   B[2] * secondary.velocity[2]) /
                                      speed
                                : nan;
  b.height_of_ambiguity =
      (b.perpendicular != 0.0)
          ? reference.wavelength * reference.slant_range * std::sin(reference.incidence) /
                (2.0 * b.perpendicular)
          : nan;
  if (!std::isfinite(b.parallel) || !std::isfinite(b.perpendicular) || !std::isfinite(b.length))
    b.status = RunStatus::not_finite_result;
  return b;
}

std::string reference_failure_text(RunStatus status, const std::string& path) {
  if (status == RunStatus::not_finite_result)
    return "can't decompose baselines against " + path +
           ": its scene point gives no finite look or perpendicular direction";
  std::string text = run_failure_message(status, path.c_str(), path.c_str());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace bperp::stack
