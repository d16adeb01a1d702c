#include "bperp/stack/geometry/stack_run.h"

namespace bperp::stack {

bool StackRun::all_ok() const {
  if (!reference_error.empty()) return false;
  for (const SecondaryResult& s : secondaries)
    if (!s.ok()) return false;
  return true;
}

StackRun start_stack(const std::string& reference_path) {
  StackRun run;
  run.reference = read_reference(reference_path);
  if (!run.reference.error.empty()) {
    run.reference_error = run.reference.error;
    return run;
  }
  run.geometry = reference_geometry(run.reference.state);
  if (run.geometry.status != RunStatus::ok)
    run.reference_error = reference_failure_text(run.geometry.status, reference_path);
  return run;
}

SecondaryResult run_secondary(const StackRun& run, Acquisition secondary) {
  SecondaryResult r;
  r.acquisition = std::move(secondary);
  const Acquisition& a = r.acquisition;
  if (!a.error.empty()) {
    r.error = a.error;
    return r;
  }
  if (a.day && run.reference.day) r.days = *a.day - *run.reference.day;
  if (a.kind == AcquisitionKind::orbit) {
    r.alignment = closest_approach(a.orbit, run.geometry.state.position);
    if (r.alignment->status != AlignStatus::ok) {
      r.error = a.path + ": " + align_failure_text(*r.alignment, a.orbit);
      return r;
    }
    r.state = r.alignment->state;
  } else {
    r.state = a.state;
  }
  r.baseline = stack_baseline(run.geometry, r.state);
  if (r.baseline.status != RunStatus::ok)
    r.error = "the baseline of " + run.reference.path + " and " + a.path + " is not finite";
  return r;
}

StackRun run_stack(const std::string& reference_path,
                   const std::vector<std::string>& secondaries) {
  StackRun run = start_stack(reference_path);
  if (!run.reference_error.empty()) return run;
  run.secondaries.reserve(secondaries.size());
  for (const std::string& path : secondaries)
    run.secondaries.push_back(run_secondary(run, read_secondary(path)));
  return run;
}

}  // namespace bperp::stack
