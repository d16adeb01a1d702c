#include "bperp/stack/geometry/stack_baseline.h"

#include <cmath>
#include <limits>

#include "bperp/earth/earth_model.h"
#include "bperp/geometry/doppler_record.h"
#include "bperp/geometry/settings.h"
#include "bperp/numeric/vec3.h"

namespace bperp::stack {

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
// The ellipsoid of the scene point (GRS80, model 1 of the earth-model table).
constexpr int scene_earth_model = 1;

// The angle at the scene point T between the direction to the satellite P
// and the normal of the scene ellipsoid there (GRS80 semi-axes of the
// settings), rad: the incidence angle in its usual meaning. The normal of
// x^2/a^2 + y^2/a^2 + z^2/b^2 = 1 is along (x/a^2, y/a^2, z/b^2).
double ellipsoid_incidence(const double* T, const double* P) {
  const double a2 = setting::ellipsoid_a * setting::ellipsoid_a;
  const double b2 = setting::ellipsoid_b * setting::ellipsoid_b;
  const double n[3] = {T[0] / a2, T[1] / a2, T[2] / b2};
  const double to_satellite[3] = {P[0] - T[0], P[1] - T[1], P[2] - T[2]};
  const double c = dot(n, to_satellite) / (norm(n) * norm(to_satellite));
  return std::acos(std::fmin(1.0, std::fmax(-1.0, c)));
}

}  // namespace

ReferenceGeometry reference_geometry(const StateVector& reference) {
  ReferenceGeometry g;
  g.master = master_geometry(reference);
  g.state = reference;
  g.status = g.master.status;
  if (g.status != RunStatus::ok) return g;
  // The reference against itself (B = 0) tells whether its look and
  // perpendicular directions are finite: the baselines of every secondary
  // are taken along them.
  double parallel = 0.0, perpendicular = 0.0;
  if (decompose_baseline(g.master, reference, &parallel, &perpendicular) != RunStatus::ok) {
    g.status = RunStatus::not_finite_result;
    return g;
  }

  const DVector& fdm = g.master.fdm;
  g.slant_range = g.master.slant_range;
  g.scene_point[0] = fdm[fdm_slot::scene_x];
  g.scene_point[1] = fdm[fdm_slot::scene_y];
  g.scene_point[2] = fdm[fdm_slot::scene_z];
  g.incidence = ellipsoid_incidence(g.scene_point, reference.position);
  g.off_nadir = fdm[fdm_slot::off_nadir];
  g.doppler_centroid = fdm[fdm_slot::centroid];
  g.doppler_rate = fdm[fdm_slot::rate];
  g.wavelength = settings_wavelength_km;

  double geodetic_record[geodetic::size];
  earth_r2(g.scene_point[0], g.scene_point[1], g.scene_point[2], geodetic_record,
           scene_earth_model);
  g.latitude = geodetic_record[geodetic::latitude];
  g.longitude = geodetic_record[geodetic::longitude];
  g.height = geodetic_record[geodetic::height];
  return g;
}

StackBaseline stack_baseline(const ReferenceGeometry& reference, const StateVector& secondary) {
  StackBaseline b;
  b.status = decompose_baseline(reference.master, secondary, &b.parallel, &b.perpendicular);
  if (b.status == RunStatus::not_finite_input) return b;

  const double B[3] = {reference.state.position[0] - secondary.position[0],
                       reference.state.position[1] - secondary.position[1],
                       reference.state.position[2] - secondary.position[2]};
  b.length = norm(B);
  const double speed = norm(secondary.velocity);
  b.along_track = (speed > 0.0) ? dot(B, secondary.velocity) / speed : nan;
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
