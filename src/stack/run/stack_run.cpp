#include "bperp/stack/run/stack_run.h"

#include <utility>

#include "bperp/stack/run/acquisitions.h"
#include "bperp/stack/run/grid.h"
#include "bperp/stack/run/passes.h"
#include "bperp/stack/run/reference_view.h"
#include "bperp/stack/run/wavelength.h"

namespace bperp::stack {

double reference_doppler_centroid(const ReferenceView& view) {
  if (const ZeroDopplerReference* z = zero_doppler_of(view)) return z->doppler_centroid;
  return std::get<ReferenceGeometry>(view).doppler_centroid;
}

bool StackRun::complete(std::size_t secondary) const {
  return secondaries[secondary].ok() && (grid_failures.empty() || grid_failures[secondary].count == 0);
}

bool StackRun::all_ok() const {
  if (refusal) return false;
  for (std::size_t k = 0; k < secondaries.size(); ++k)
    if (!complete(k)) return false;
  return true;
}

LookSide look_side(const ReferenceView& view) {
  const ZeroDopplerReference* z = zero_doppler_of(view);
  return z ? z->look : LookSide::right;
}

namespace {

// The run's wavelength (km) when it is the beam geometry's own L band (a
// state-vector reference, neither --wavelength nor --sensor); nullopt
// otherwise.
std::optional<double> beam_band_used(const StackRun& run) {
  if (run.wavelength_source != "beam") return std::nullopt;
  return std::get<ReferenceGeometry>(run.view).wavelength;
}

// The inputs used for the usable secondaries at the stack's target.
std::vector<const Acquisition*> usable_acquisitions(const StackRun& run) {
  std::vector<const Acquisition*> usable;
  for (const SecondaryResult& s : run.secondaries)
    if (s.ok()) usable.push_back(&s.acquisition());
  return usable;
}

}  // namespace

StackRun start_stack(const std::string& reference_path, const StackOptions& options,
                     const OrbitCatalogue* orbits) {
  StackRun run;
  run.reference = read_reference(reference_path, options.read);
  if (!run.reference.warning.empty()) run.warnings.push_back(run.reference.warning);
  use_orbit_files(run.reference, orbits, run.warnings);
  if (run.reference.refusal) {
    run.refusal = run.reference.refusal;
    return run;
  }
  if (run.reference.kind == AcquisitionKind::state_vector) {
    ReferenceGeometry beam;
    run.refusal = beam_view(run.reference, options.target, beam);
    run.view = std::move(beam);
    run.wavelength_source = beam_wavelength(options.target).source;
    return run;
  }
  ZeroDopplerReference z;
  run.refusal = zero_doppler_view(run.reference, options.target, z, &run.warnings);
  run.wavelength_source = z.wavelength_source;
  run.view = std::move(z);
  return run;
}

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run = start_stack(reference_path, options, orbits);
  if (run.refusal) return run;

  SeenFiles seen;
  seen.first_time(run.reference, run.reference.name, run.warnings);
  std::vector<SecondaryResult> results;
  results.reserve(secondaries.size());
  for (const std::string& path : secondaries) {
    Acquisition a = read_secondary(path, options.read);
    if (!seen.first_time(a, run.reference.name, run.warnings)) continue;
    use_orbit_files(a, orbits, run.warnings);
    if (!a.warning.empty()) run.warnings.push_back(a.warning);
    results.push_back(
        run_secondary(run.reference, run.view, std::make_shared<const Acquisition>(std::move(a)), options));
  }
  gather_passes(run, std::move(results));

  std::vector<const Acquisition*> usable = usable_acquisitions(run);
  if (const std::optional<double> beam = beam_band_used(run))
    if (std::string w = settings_wavelength_warning(*beam, run.reference.name, usable); !w.empty())
      run.warnings.push_back(std::move(w));
  if (options.target.wavelength) {
    usable.insert(usable.begin(), &run.reference);
    if (std::string w = option_wavelength_warning(*options.target.wavelength, usable); !w.empty())
      run.warnings.push_back(std::move(w));
  }
  if (options.grid) run.refusal = run_grid(run, options);
  for (std::string& w : same_date_warnings(run)) run.warnings.push_back(std::move(w));
  return run;
}

}  // namespace bperp::stack
