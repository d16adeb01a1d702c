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
  if (refusal || cancelled) return false;
  for (std::size_t k = 0; k < secondaries.size(); ++k)
    if (!complete(k)) return false;
  return true;
}

LookSide look_side(const ReferenceView& view) {
  const ZeroDopplerReference* z = zero_doppler_of(view);
  return z ? z->look : LookSide::right;
}

ReadOptions read_options(const StackOptions& options) {
  ReadOptions read = options.read;
  if (read.swath.empty() && options.target.burst)
    if (const std::optional<BurstId> id = parse_burst_id(*options.target.burst)) read.swath = id->swath;
  return read;
}

std::string reference_burst_id(const StackRun& run) {
  const ZeroDopplerReference* z = zero_doppler_of(run.view);
  if (!z || !run.reference.product || !z->time) return {};
  return burst_id_at(*run.reference.product, *z->time);
}

namespace {

// Appends texts to run's warnings as warnings of kind.
void add_warnings(StackRun& run, WarningKind kind, std::vector<std::string> texts) {
  for (std::string& text : texts) run.warnings.push_back({kind, std::move(text)});
}

// Notes the file a was read from when no input names it (a .SAFE folder's
// annotation); a zip's member is read from the zip, which an input names.
void note_found_file(StackRun& run, const Acquisition& a) {
  if (a.read_from.empty() || a.read_from.starts_with(a.path + "!")) return;
  run.found_files.push_back(a.read_from);
}

// The acquisition of an input: the one made in memory, or its file read
// (read, the reference's reader or the secondaries').
template <typename Reader>
Acquisition acquisition_of(const StackInput& input, Reader read, const ReadOptions& options) {
  if (input.made) return *input.made;
  return read(input.path, options);
}

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

StackRun start_stack(const StackInput& reference, const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run;
  // Kept for going over the grid again; the stop check belongs to the call.
  run.options = options;
  run.options.stop_requested = nullptr;
  run.reference = acquisition_of(reference, read_reference, read_options(options));
  note_found_file(run, run.reference);
  if (run.reference.warning) run.warnings.push_back(*run.reference.warning);
  use_orbit_files(run.reference, orbits, options.require_orbit_files, run.warnings);
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

StackRun run_stack(const StackInput& reference, const std::vector<StackInput>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  StackRun run = start_stack(reference, options, orbits);
  run.reference_alone = secondaries.empty();
  if (run.refusal) return run;

  SeenFiles seen;
  std::vector<std::string> notes;
  seen.first_time(run.reference, run.reference.name, notes);
  std::vector<SecondaryResult> results;
  results.reserve(secondaries.size());
  for (const StackInput& input : secondaries) {
    if (options.stop_requested && options.stop_requested()) {
      run.cancelled = true;
      break;
    }
    Acquisition a = acquisition_of(input, read_secondary, read_options(options));
    note_found_file(run, a);
    const bool first_time = seen.first_time(a, run.reference.name, notes);
    add_warnings(run, WarningKind::duplicate_file, std::move(notes));
    notes.clear();
    if (!first_time) continue;
    use_orbit_files(a, orbits, options.require_orbit_files, run.warnings);
    if (a.warning) run.warnings.push_back(*a.warning);
    results.push_back(
        run_secondary(run.reference, run.view, std::make_shared<const Acquisition>(std::move(a)), options));
  }
  gather_passes(run, std::move(results));  // a cancelled run keeps the secondaries it computed
  if (run.cancelled) return run;

  std::vector<const Acquisition*> usable = usable_acquisitions(run);
  if (const std::optional<double> beam = beam_band_used(run))
    if (std::string w = settings_wavelength_warning(*beam, run.reference.name, usable); !w.empty())
      run.warnings.push_back({WarningKind::wavelength, std::move(w)});
  if (options.target.wavelength) {
    usable.insert(usable.begin(), &run.reference);
    if (std::string w = option_wavelength_warning(*options.target.wavelength, usable); !w.empty())
      run.warnings.push_back({WarningKind::wavelength, std::move(w)});
  }
  if (options.grid) run.refusal = check_grid(run);
  run.grid_warnings_at = run.warnings.size();
  add_warnings(run, WarningKind::same_date, same_date_warnings(run));
  return run;
}

StackRun run_stack(const std::string& reference_path, const std::vector<std::string>& secondaries,
                   const StackOptions& options, const OrbitCatalogue* orbits) {
  return run_stack(StackInput(reference_path), std::vector<StackInput>(secondaries.begin(), secondaries.end()),
                   options, orbits);
}

}  // namespace bperp::stack
