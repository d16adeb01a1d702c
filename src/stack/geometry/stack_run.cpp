#include "bperp/stack/geometry/stack_run.h"

#include <cmath>
#include <map>
#include <utility>

#include <sys/stat.h>

#include "bperp/numeric/units.h"
#include "bperp/stack/geometry/plausibility.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// "1.2 cm" or "3.4 m" of a length in km.
std::string length_text(double km) {
  const double m = km * units::metres_per_km;
  return m < 1.0 ? fixed_text(m * 100.0, 1) + " cm" : fixed_text(m, 3) + " m";
}

// Why a state vector (km) could not be moved to its closest approach to P.
std::string shift_failure_text(const TimeShift& shift, const StateVector& state, const double* P) {
  const double d[3] = {state.position[0] - P[0], state.position[1] - P[1], state.position[2] - P[2]};
  switch (shift.status) {
    case ShiftStatus::ok:
      return {};
    case ShiftStatus::too_far:
      return "the state vector stands " + fixed_text(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 3) +
             " km from the reference position and passes closest to it more than " +
             fixed_text(max_time_shift, 0) +
             " s along its orbit: not a pass of the reference's place (another track or satellite?)";
    case ShiftStatus::not_converged:
      return "the search along its orbit for the closest approach to the reference did not settle";
    case ShiftStatus::not_finite:
      return "the closest approach to the reference along its orbit is not a finite number";
  }
  return "the state vector could not be moved along its orbit";
}

// The file's identity (device and inode), when it can be looked up.
std::optional<std::pair<dev_t, ino_t>> file_identity(const std::string& path) {
  struct stat s;
  if (::stat(path.c_str(), &s) != 0) return std::nullopt;
  return std::make_pair(s.st_dev, s.st_ino);
}

}  // namespace

bool StackRun::all_ok() const {
  if (!reference_error.empty()) return false;
  for (const SecondaryResult& s : secondaries)
    if (!s.ok()) return false;
  return true;
}

StackRun start_stack(const std::string& reference_path) {
  StackRun run;
  run.reference = read_reference(reference_path);
  if (!run.reference.warning.empty()) run.warnings.push_back(run.reference.warning);
  if (!run.reference.error.empty()) {
    run.reference_error = run.reference.error;
    return run;
  }
  run.geometry = reference_geometry(run.reference.state);
  if (run.geometry.status != RunStatus::ok) {
    run.reference_error = reference_failure_text(run.geometry.status, run.reference.name);
    return run;
  }
  const std::string why = implausible_state(run.reference.state);
  if (!why.empty())
    run.reference_error = "can't use " + run.reference.name + " as the reference: " + why;
  return run;
}

SecondaryResult run_secondary(const StackRun& run, Acquisition secondary,
                              const StackOptions& options) {
  SecondaryResult r;
  r.acquisition = std::move(secondary);
  const Acquisition& a = r.acquisition;
  if (!a.error.empty()) {
    r.error = a.error;
    return r;
  }
  if (a.day && run.reference.day) r.days = *a.day - *run.reference.day;
  const double* P = run.geometry.state.position;
  if (a.kind == AcquisitionKind::orbit) {
    const std::string why = implausible_orbit(a.orbit, a.row_lines.empty() ? nullptr : &a.row_lines);
    if (!why.empty()) {
      r.error = a.name + ": " + why;
      return r;
    }
    r.alignment = closest_approach(a.orbit, P);
    if (r.alignment->status != AlignStatus::ok) {
      r.error = a.name + ": " + align_failure_text(*r.alignment, a.orbit);
      return r;
    }
    if (r.alignment->interpolation_error > max_interpolation_error) {
      r.error = a.path + ": the orbit's rows are too far apart for an accurate baseline: its "
                "interpolation at the closest approach is uncertain by " +
                length_text(r.alignment->interpolation_error) + " (at most " +
                length_text(max_interpolation_error) + "; rows some 10 to 60 s apart are)";
      return r;
    }
    r.state = r.alignment->state;
  } else {
    const std::string why = implausible_state(a.state);
    if (!why.empty()) {
      r.error = a.name + ": " + why;
      return r;
    }
    r.state = a.state;
    if (!options.as_given) {
      r.shift = shift_to_closest_approach(a.state, P);
      if (r.shift->status != ShiftStatus::ok) {
        r.error = a.name + ": " + shift_failure_text(*r.shift, a.state, P);
        return r;
      }
      r.state = r.shift->state;
    }
  }
  r.baseline = stack_baseline(run.geometry, r.state);
  if (r.baseline.status != RunStatus::ok) {
    r.error = "the baseline of " + run.reference.name + " and " + a.name + " is not finite";
    return r;
  }
  if (r.baseline.length > options.max_length) {
    r.error = a.path + ": the baseline is " + fixed_text(r.baseline.length, 3) +
              " km long, more than --max-length " +
              round_trip_text(options.max_length * units::metres_per_km) +
              " m: not a repeat pass of the reference's track (another track or satellite?)";
    return r;
  }
  return r;
}

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options) {
  StackRun run = start_stack(reference_path);
  if (!run.reference_error.empty()) return run;

  // One file under two names is used once.
  std::map<std::pair<dev_t, ino_t>, std::string> seen;  // the identity's first name, escaped
  if (const auto id = file_identity(reference_path)) seen[*id] = run.reference.name;
  run.secondaries.reserve(secondaries.size());
  for (const std::string& path : secondaries) {
    if (const auto id = file_identity(path)) {
      const auto [it, added] = seen.emplace(*id, escaped(path));
      if (!added) {
        run.warnings.push_back(escaped(path) + " is the same file as " + it->second +
                               (it->second == run.reference.name ? " (the reference)" : "") +
                               ": used once");
        continue;
      }
    }
    SecondaryResult s = run_secondary(run, read_secondary(path), options);
    if (!s.acquisition.warning.empty()) run.warnings.push_back(s.acquisition.warning);
    run.secondaries.push_back(std::move(s));
  }

  // Two acquisitions of one date are rarely two passes.
  std::map<long, std::string> dated;
  if (run.reference.day) dated[*run.reference.day] = run.reference.name;
  for (const SecondaryResult& s : run.secondaries) {
    if (!s.acquisition.day || !s.acquisition.error.empty()) continue;
    const auto [it, added] = dated.emplace(*s.acquisition.day, s.acquisition.name);
    if (!added)
      run.warnings.push_back(s.acquisition.name + " and " + it->second + " are both of " +
                             day_text(s.acquisition.day));
  }
  return run;
}

}  // namespace bperp::stack
