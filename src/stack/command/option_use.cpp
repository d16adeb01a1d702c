#include "bperp/stack/command/option_use.h"

#include <cmath>
#include <functional>

namespace bperp::stack {

namespace {

// Whether any input of run (the reference, every input of every pass)
// satisfies test.
bool any_input(const StackRun& run, const std::function<bool(const Acquisition&)>& test) {
  if (test(run.reference)) return true;
  for (const PassInputs& pass : run.passes)
    for (const std::shared_ptr<const Acquisition>& input : pass)
      if (test(*input)) return true;
  return false;
}

// A SAFE product: a .SAFE folder, its manifest.safe or a zip.
bool safe_folder(const Acquisition& a) { return !a.read_from.empty(); }
bool hdf5_product(const Acquisition& a) { return kind_text(a) == "hdf5"; }
bool sentinel1_product(const Acquisition& a) { return a.product && a.product->mission.starts_with("S1"); }

// A bandwidth (Hz) the reference product states, if any.
bool stated(const std::optional<double>& hz) { return hz && *hz > 0.0; }

// What --sensor NAME does for the run, or a warning when it gives nothing,
// or only the bandwidths where the reference states its frequency.
std::string sensor_warning(const StackRequest& r, const StackRun& run) {
  const SensorPreset& preset = *r.bandwidth.sensor;
  const ProductInfo* p = run.reference.product ? &*run.reference.product : nullptr;
  const bool wavelength = run.wavelength_source == "sensor";
  const bool range = !(p && stated(p->range_bandwidth_hz)) && !r.bandwidth.range_hz;
  const bool azimuth = !(p && stated(p->azimuth_bandwidth_hz)) && !r.bandwidth.azimuth_hz &&
                       std::isfinite(preset.azimuth_bandwidth_hz);
  const std::string option = std::string("--sensor ") + preset.name;
  const bool given = run.wavelength_source == "option";
  if (!wavelength && !range && !azimuth)
    return option + " is not used: " +
           (given ? std::string("--wavelength gives the wavelength") : run.reference.name + " states its frequency") +
           ", and the bandwidths are known without it";
  if (!wavelength && run.wavelength_source != "beam")
    return option + " serves only for the bandwidths " + run.reference.name + " does not state: " +
           (given ? "--wavelength gives the wavelength" : "its own frequency is used, not the preset's");
  return {};
}

}  // namespace

std::vector<std::string> unused_option_warnings(const StackRequest& r, const StackRun& run) {
  std::vector<std::string> warnings;
  if (run.refusal) return warnings;
  if (!r.stack.read.swath.empty() && !any_input(run, safe_folder))
    warnings.push_back("--swath is not used: no input is a .SAFE folder");
  if (!r.stack.read.polarisation.empty() && !any_input(run, safe_folder))
    warnings.push_back("--polarisation is not used: no input is a SAFE product (a .SAFE folder or a zip)");
  if (!r.stack.read.hdf5_orbit.empty() && !any_input(run, hdf5_product))
    warnings.push_back("--hdf5-orbit is not used: no input is an HDF5 product");
  if ((!r.orbit_files.empty() || !r.orbit_dirs.empty()) && !any_input(run, sentinel1_product))
    warnings.push_back(std::string(r.orbit_files.empty() ? "--orbit-dir is" : r.orbit_dirs.empty() ? "--orbit is" : "--orbit and --orbit-dir are") +
                       " not used: no input states a Sentinel-1 mission (the orbit files serve Sentinel-1 "
                       "annotations, SAFE products, parameter files and OPERA products)");
  if (r.stack.require_orbit_files && r.orbit_files.empty() && r.orbit_dirs.empty())
    warnings.push_back("--require-orbit-files is not used: no --orbit or --orbit-dir gives orbit files");
  if (r.stack.as_given) {
    bool state_vector = false;
    for (const PassInputs& pass : run.passes)
      for (const std::shared_ptr<const Acquisition>& input : pass)
        state_vector = state_vector || input->kind == AcquisitionKind::state_vector;
    if (!state_vector) warnings.push_back("--as-given is not used: no secondary is a state vector");
  }
  if (r.stack.target.look && !zero_doppler_of(run.view))
    warnings.push_back("--look is not used: a state-vector reference has bperp's beam geometry, which looks right");
  const ProductInfo* p = run.reference.product ? &*run.reference.product : nullptr;
  if (r.bandwidth.range_hz && p && stated(p->range_bandwidth_hz))
    warnings.push_back("--range-bandwidth is not used: " + run.reference.name + " states its range bandwidth");
  if (r.bandwidth.azimuth_hz && p && stated(p->azimuth_bandwidth_hz))
    warnings.push_back("--azimuth-bandwidth is not used: " + run.reference.name + " states its azimuth bandwidth");
  if (r.bandwidth.sensor)
    if (std::string w = sensor_warning(r, run); !w.empty()) warnings.push_back(std::move(w));
  return warnings;
}

}  // namespace bperp::stack
