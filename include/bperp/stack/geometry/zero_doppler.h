// The zero-Doppler geometry of a radar product: the target a reference
// sees at a time on its orbit and a slant range, or the reference's view of
// a given point, and the baseline of a secondary there.
//
// A SAR focused to zero Doppler images a target T at the time its earth-fixed
// range |T - S(t)| is least, where (T - S) . V = 0 with V the earth-fixed
// velocity: T lies in the plane through S normal to V, on the circle of
// radius R about S, at the height h of the scene, on the radar's side.
//
// Frame: earth-fixed, WGS84 (the products' own). Units: km, km/s, s, rad.
// Times are seconds on the orbit rows' own scale (seconds since the orbit's
// epoch for a product's orbit).
#pragma once

#include <cstddef>
#include <string>

#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/wgs84.h"
#include "bperp/stack/inputs/orbit_rows.h"
#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

enum class ZeroDopplerStatus {
  ok,
  too_few_rows,         // the orbit has fewer than orbit_min_interpolation_rows rows
  outside_span,         // the time lies outside the orbit's rows
  not_finite,           // a NaN or an infinity in the input or on the way
  bad_point,            // a latitude beyond +-90 degrees
  no_zero_doppler_plane, // V zero or along S: no nadir direction normal to V
  too_short,            // the slant range does not reach down to height h below the satellite
  out_of_reach,         // height h lies more than the slant range above the satellite
  beyond_horizon,       // the point at that range and height is hidden by the earth
  not_converged,        // the look-angle iteration did not settle within its cap
  no_closest_approach,  // the orbit's closest approach to the point was not found
  no_line_of_sight,     // T at R, or U along V_R, straight down or level: no perpendicular direction
};

// The look-angle iteration: its cap, and the height mismatch (km) at which
// it stops.
constexpr int target_max_iterations = 100;
constexpr double target_height_tolerance = 1e-9;

// The target seen at zero Doppler from S (km) moving with V (km/s) at slant
// range R (km), geodetic height h (km): T with |T - S| = R, (T - S) . V = 0,
// height(T) = h, on the look side. T(theta) = S + R (cos theta n + sin theta c)
// with n the nadir direction -S made normal to V and c = n x v (right) or
// v x n (left), v = V / |V|; theta in [0, pi] from n by Newton steps on the
// height, kept inside a bracket. Status: no_zero_doppler_plane for V zero or
// along S, too_short when T(0) lies above height h, out_of_reach when T(pi)
// (straight up) lies below it, beyond_horizon when the line of sight meets
// T from inside the ellipsoid, not_finite for non-finite input.
struct TargetFix {
  ZeroDopplerStatus status = ZeroDopplerStatus::ok;
  double target[3] = {0.0, 0.0, 0.0};  // km
  Geodetic geodetic;                   // of the target
  double angle = 0.0;                  // theta, rad from n in the zero-Doppler plane
  int iterations = 0;
};
TargetFix zero_doppler_target(const double* S, const double* V, double slant_range, double height,
                              LookSide side);

// How S (km), moving with V (km/s), sees T (km) with geodetic coordinates
// t_geodetic: the look angle between T - S and -S (the geocentric nadir,
// not the normal of the ellipsoid below S), the incidence angle at T between
// S - T and the ellipsoid normal there, the heading, the azimuth of V at
// the satellite's geodetic sub-point clockwise from north in (-pi, pi], and
// the side: right when ((T - S) x V) . S > 0. All rad. Non-finite input
// gives NaN angles.
struct ViewingAngles {
  double look_angle = 0.0;  // rad
  double incidence = 0.0;   // rad
  double heading = 0.0;     // rad, clockwise from north
  LookSide side = LookSide::right;
};
ViewingAngles viewing_angles(const double* S, const double* V, const double* T, const Geodetic& t_geodetic);

// The reference's zero-Doppler view of one target.
struct ZeroDopplerGeometry {
  ZeroDopplerStatus status = ZeroDopplerStatus::ok;
  AlignStatus alignment = AlignStatus::ok;  // why no_closest_approach
  double t = 0.0;                           // s, zero-Doppler time on the rows' scale
  std::size_t segment = 0;                  // rows segment and segment + 1
  double satellite[3] = {0.0, 0.0, 0.0};    // S, km
  double velocity[3] = {0.0, 0.0, 0.0};     // V, km/s
  double interpolation_error = 0.0;         // km, estimated error of S
  double target[3] = {0.0, 0.0, 0.0};       // T, km
  Geodetic target_geodetic;
  double slant_range = 0.0;                 // |T - S|, km
  ViewingAngles angles;
  int iterations = 0;                       // of the look-angle or the alignment search
};

// The target at time t (s, on the rows' scale) and slant range R (km), at
// geodetic height h (km) on the look side: S and V interpolated in the
// segment holding t (interpolate_in_segment), then zero_doppler_target.
// Status as zero_doppler_target's, and too_few_rows, outside_span (t before
// the first row or after the last), not_finite.
ZeroDopplerGeometry geometry_at_range(const Orbit& orbit, double t, double slant_range, double height,
                                      LookSide side);

// The reference's view of the geodetic point: its zero-Doppler time is the
// orbit's closest approach to the point (closest_approach; in the earth-fixed
// frame the two are the same), S and V there, R = |T - S|, and the viewing
// angles; angles.side says on which side the point lies. Status bad_point for
// a latitude beyond +-90 degrees, not_finite for a non-finite coordinate,
// no_closest_approach (alignment says why) when the closest approach fails,
// beyond_horizon when the satellite there sees the point through the earth.
ZeroDopplerGeometry geometry_at_point(const Orbit& orbit, const Geodetic& point);

// One line saying why the geometry could not be found (empty for ok); the
// orbit is the one it was sought on, for the time spans.
std::string zero_doppler_failure_text(const ZeroDopplerGeometry& geometry, const Orbit& orbit);

// The baseline of a secondary at the target, B = reference - secondary, as
// everywhere in this tool. The secondary's zero-Doppler position S_s is moved
// along the reference velocity into the plane through the reference
// position R normal to V_R:
//   S' = S_s - ((S_s - R) . v) v,  v = V_R / |V_R|,
// so that no along-track part remains; B = R - S', split on
//   U = (T - R) / |T - R|, the reference's line of sight, and
//   N, the unit vector in that plane at right angles to U with N . R > 0
//     (away from the earth),
// B = parallel U + perpendicular N. The parallel baseline is positive when
// the reference lies farther from the target than the secondary, the
// perpendicular one when it lies farther out across the line of sight.
//
// Another processor's published values (ISCE2 on the track-108 Sentinel-1
// data) are Bpar = (S - R) . U, which is minus our parallel, and Bperp with
// the sign of ((T - R) x (S - R)) . V_R, which equals our perpendicular for a
// right-looking radar (and is its negative for a left-looking one).
struct ZeroDopplerBaseline {
  ZeroDopplerStatus status = ZeroDopplerStatus::ok;
  AlignStatus alignment = AlignStatus::ok;  // the secondary's closest approach
  double t = 0.0;                           // s, the secondary's zero-Doppler time on its rows' scale
  double interpolation_error = 0.0;         // km, estimated error of S_s
  double secondary[3] = {0.0, 0.0, 0.0};    // S_s, km
  double secondary_velocity[3] = {0.0, 0.0, 0.0};  // km/s, earth-fixed, at S_s (orbits only)
  double moved[3] = {0.0, 0.0, 0.0};        // S', km
  double look[3] = {0.0, 0.0, 0.0};         // U
  double up[3] = {0.0, 0.0, 0.0};           // N
  double parallel = 0.0;                    // B . U, km
  double perpendicular = 0.0;               // B . N, km
  double length = 0.0;                      // |B|, km
  double along_track = 0.0;                 // B . v, km: rounding only
  double along_track_removed = 0.0;         // (S_s - R) . v, km
  double secondary_range = 0.0;             // |T - S_s|, km
};

// The decomposition above of a secondary at S_s (km) against the reference
// at R (km) moving with V_R (km/s) at the target T (km). Status
// no_zero_doppler_plane for V_R zero, no_line_of_sight for T = R or N
// undefined (U along V_R, or the line of sight along R's plane so that N . R
// = 0), not_finite for non-finite input.
ZeroDopplerBaseline zero_doppler_baseline(const double* T, const double* R, const double* V_R,
                                          const double* S_s);

// The baseline of the secondary orbit at the reference's target: S_s its
// closest approach to T (no_closest_approach, alignment saying why, when it
// fails), then zero_doppler_baseline with the reference's S and V. The
// reference geometry must be ok (its status is passed on otherwise).
ZeroDopplerBaseline secondary_baseline(const ZeroDopplerGeometry& reference, const Orbit& secondary);

// The height of ambiguity lambda R sin(incidence) / (2 B_perp) (km): the
// height difference that turns the repeat-pass interferometric phase by one
// cycle. wavelength lambda, reference slant range R and perpendicular
// baseline B_perp in km, the incidence against the ellipsoid normal in rad.
// NaN when B_perp is 0.
double height_of_ambiguity(double wavelength, double reference_range, double incidence,
                           double perpendicular);

// One line saying why a baseline could not be found (empty for ok).
std::string zero_doppler_baseline_failure_text(const ZeroDopplerBaseline& baseline, const Orbit& secondary);

}  // namespace bperp::stack
