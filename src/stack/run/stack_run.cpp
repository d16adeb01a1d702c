#include "bperp/stack/run/stack_run.h"

#include <utility>

#include "bperp/stack/run/acquisitions.h"
#include "bperp/stack/run/grid.h"
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

namespace {

// Why a product reference gives no wavelength for the baselines, with
// neither --wavelength nor --sensor; nullopt when it does.
std::optional<Refusal> missing_wavelength(const Acquisition& a, const ReferenceView& view) {
  const ZeroDopplerReference* z = zero_doppler_of(view);
  if (z == nullptr || !std::isnan(z->wavelength)) return std::nullopt;
  return Refusal{RefusalKind::malformed, "can't use " + a.name +
                                             " as the reference: it gives no radar wavelength or frequency; "
                                             "give --wavelength (m) or --sensor"};
}

// The run's wavelength (km) when it is the settings' (no product gives
// one, and neither --wavelength nor --sensor); nullopt otherwise.
std::optional<double> settings_wavelength_used(const StackRun& run, const StackOptions& options) {
  if (const ZeroDopplerReference* z = zero_doppler_of(run.view)) {
    if (z->wavelength_source == "settings") return z->wavelength;
    return std::nullopt;
  }
  if (options.target.wavelength || options.target.sensor_wavelength) return std::nullopt;
  return std::get<ReferenceGeometry>(run.view).wavelength;
}

}  // namespace

StackRun start_stack(const std::string& reference_path, const StackOptions& options,
                     const OrbitCatalogue* orbits) {
  StackRun run;
  run.reference = read_reference(reference_path, options.read);
  if (!run.reference.warning.empty()) run.warnings.push_back(run.reference.warning);
  use_orbit_files(run.reference, orbits, options.require_orbit_files, run.warnings);
  if (run.reference.refusal) {
    run.refusal = run.reference.refusal;
    return run;
  }
  if (run.reference.kind == AcquisitionKind::state_vector) {
    ReferenceGeometry beam;
    run.refusal = beam_view(run.reference, options.target, beam);
    run.view = std::move(beam);
    return run;
  }
  ZeroDopplerReference z;
  run.refusal = zero_doppler_view(run.reference, options.target, z, &run.warnings);
  run.view = std::move(z);
  if (!run.refusal) run.refusal = missing_wavelength(run.reference, run.view);
  return run;
}

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run = start_stack(reference_path, options, orbits);
  if (run.refusal) return run;

  SeenFiles seen;
  seen.first_time(run.reference, run.reference.name, run.warnings);
  run.secondaries.reserve(secondaries.size());
  for (const std::string& path : secondaries) {
    Acquisition a = read_secondary(path, options.read);
    if (!seen.first_time(a, run.reference.name, run.warnings)) continue;
    use_orbit_files(a, orbits, options.require_orbit_files, run.warnings);
    if (!a.warning.empty()) run.warnings.push_back(a.warning);
    run.secondaries.push_back(
        run_secondary(run.reference, run.view, std::make_shared<const Acquisition>(std::move(a)), options));
  }

  std::vector<const Acquisition*> read, usable;
  for (const SecondaryResult& s : run.secondaries) {
    read.push_back(&s.acquisition());
    if (s.ok()) usable.push_back(&s.acquisition());
  }
  if (const std::optional<double> settings = settings_wavelength_used(run, options))
    if (std::string w = settings_wavelength_warning(*settings, run.reference.name, usable); !w.empty())
      run.warnings.push_back(std::move(w));
  if (options.grid) run.refusal = run_grid(run, options);
  for (std::string& w : same_date_warnings(run.reference, read)) run.warnings.push_back(std::move(w));
  return run;
}

}  // namespace bperp::stack
