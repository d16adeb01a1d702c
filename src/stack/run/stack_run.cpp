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
  if (refusal || cancelled) return false;
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
// Appends texts to run's warnings as warnings of kind.
void add_warnings(StackRun& run, WarningKind kind, std::vector<std::string> texts) {
  for (std::string& text : texts) run.warnings.push_back({kind, std::move(text)});
}

// The acquisition of an input: the one made in memory, or its file read
// (read, the reference's reader or the secondaries').
template <typename Reader>
Acquisition acquisition_of(const StackInput& input, Reader read, const ReadOptions& options) {
  if (input.made) return *input.made;
  return read(input.path, options);
}

std::optional<double> settings_wavelength_used(const StackRun& run, const StackOptions& options) {
  if (const ZeroDopplerReference* z = zero_doppler_of(run.view)) {
    if (z->wavelength_source == "settings") return z->wavelength;
    return std::nullopt;
  }
  if (options.target.wavelength || options.target.sensor_wavelength) return std::nullopt;
  return std::get<ReferenceGeometry>(run.view).wavelength;
}

}  // namespace

StackRun start_stack(const StackInput& reference, const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run;
  run.reference = acquisition_of(reference, read_reference, options.read);
  if (!run.reference.warning.empty()) run.warnings.push_back({WarningKind::header_date, run.reference.warning});
  std::vector<std::string> orbit_notes;
  use_orbit_files(run.reference, orbits, orbit_notes);
  add_warnings(run, WarningKind::orbit_file, std::move(orbit_notes));
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
  std::vector<std::string> look_notes;
  run.refusal = zero_doppler_view(run.reference, options.target, z, &look_notes);
  add_warnings(run, WarningKind::look_side, std::move(look_notes));
  run.view = std::move(z);
  if (!run.refusal) run.refusal = missing_wavelength(run.reference, run.view);
  return run;
}

StackRun run_stack(const StackInput& reference, const std::vector<StackInput>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run = start_stack(reference, options, orbits);
  if (run.refusal) return run;

  SeenFiles seen;
  std::vector<std::string> notes;
  seen.first_time(run.reference, run.reference.name, notes);
  run.secondaries.reserve(secondaries.size());
  for (const StackInput& input : secondaries) {
    if (options.stop_requested && options.stop_requested()) {
      run.cancelled = true;
      return run;
    }
    Acquisition a = acquisition_of(input, read_secondary, options.read);
    const bool first_time = seen.first_time(a, run.reference.name, notes);
    add_warnings(run, WarningKind::duplicate_file, std::move(notes));
    notes.clear();
    if (!first_time) continue;
    use_orbit_files(a, orbits, notes);
    add_warnings(run, WarningKind::orbit_file, std::move(notes));
    notes.clear();
    if (!a.warning.empty()) run.warnings.push_back({WarningKind::header_date, a.warning});
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
      run.warnings.push_back({WarningKind::wavelength, std::move(w)});
  if (options.grid) run.refusal = run_grid(run, options);
  if (run.cancelled) return run;
  add_warnings(run, WarningKind::same_date, same_date_warnings(run.reference, read));
  return run;
}

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  return run_stack(StackInput(reference_path), std::vector<StackInput>(secondaries.begin(), secondaries.end()),
                   options, orbits);
}

}  // namespace bperp::stack
