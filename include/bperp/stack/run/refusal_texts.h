// The refusals of the run: of secondaries that are no repeat pass of the
// reference or whose baseline can't be trusted, and of a reference that
// can't give the target asked for. Each names the file and says why, with
// the numbers that tell.
#pragma once

#include <optional>
#include <string>

#include "bperp/geometry/state_vector.h"
#include "bperp/stack/geometry/orbit_alignment.h"
#include "bperp/stack/geometry/propagation.h"
#include "bperp/stack/geometry/wgs84.h"
#include "bperp/stack/geometry/zero_doppler.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// The kind of each failure of the geometry: a time outside the orbit's
// vectors is outside_orbit, a target the reference's look can't reach
// outside_image, too few rows malformed, a pass elsewhere other_track, and
// a search that found no finite answer implausible.
RefusalKind refusal_kind(AlignStatus status);
RefusalKind refusal_kind(ZeroDopplerStatus status);
RefusalKind refusal_kind(ShiftStatus status);

// "1.2 cm" or "3.4 m" of a length in km.
std::string length_text(double km);

// Why the state vector of a (km) could not be moved to its closest
// approach to P (km).
Refusal shift_failure(const Acquisition& a, const TimeShift& shift, const double* P);

// Why the state vector of a, moved along its orbit, is too uncertain to
// use: the time moved and the estimate of the error it brings, against the
// 1 cm allowed; nullopt when within it.
std::optional<Refusal> shift_uncertainty(const Acquisition& a, const TimeShift& shift);

// Why a's velocity v points another way than the reference's reference_v
// (km/s, earth-fixed): no repeat pass; nullopt when it does not.
std::optional<Refusal> flies_another_way(const Acquisition& a, const double* reference_v, const double* v);

// Why a baseline of length km is longer than max_length km allows.
Refusal too_long(const Acquisition& a, double length, double max_length);

// Why a's orbit rows are too far apart for an accurate baseline: its
// interpolation at `where` ("the closest approach", "the zero-Doppler
// time") is uncertain by error km; with the spacing hint of the rows when
// hint.
Refusal rows_too_far_apart(const Acquisition& a, double error, const std::string& where, bool hint);

// Why a product's reference can't see point: its zero-Doppler time lies
// before (or after) the orbit's vectors, estimated from the end row along
// its velocity when near, with the vectors' span (a's epoch known).
std::string point_outside_text(const Acquisition& a, const Geodetic& point, bool before);

// Why a secondary's zero-Doppler time for the target lies outside its
// orbit's vectors, with the reference's time of the target when known.
Refusal secondary_outside_orbit(const Acquisition& a, bool before,
                                const std::optional<UtcTime>& reference_time);

// Why the target options can't serve a state-vector reference ("" when
// none is given): they place a target at a time and range, or at a point,
// which only a product or a dated orbit has.
std::string beam_target_text(const TargetOptions& target);

}  // namespace bperp::stack
