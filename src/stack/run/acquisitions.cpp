#include "bperp/stack/run/acquisitions.h"

#include "bperp/stack/support/escape.h"

namespace bperp::stack {

void use_orbit_files(Acquisition& a, const OrbitCatalogue* orbits, bool required, std::vector<Warning>& warnings) {
  if (orbits == nullptr || orbits->empty() || a.refusal || !a.product || !sentinel1_mission(a.product->mission))
    return;
  const ImageTiming& image = a.product->image;
  const UtcTime first = acquisition_time(*a.product);
  const UtcTime last = image.last_line ? *image.last_line : first;
  Refusal problem;
  std::optional<ChosenOrbit> chosen = orbits->choose(a.product->mission, first, last, &problem);
  if (!chosen && problem.kind == RefusalKind::outside_orbit && !required) {
    warnings.push_back({WarningKind::orbit_fallback, a.name + ": " + problem.text + "; so its own orbit (" +
                                                         escaped(a.product->orbit.source) +
                                                         ") is used (--require-orbit-files refuses it instead)"});
    return;
  }
  if (!chosen) {
    a.refusal = Refusal{problem.kind, a.name + ": " + problem.text};
    return;
  }
  for (const std::string& w : chosen->warnings) warnings.push_back({WarningKind::orbit_file, a.name + ": " + w});
  a.product->orbit = chosen->orbit;
  a.orbit = chosen->orbit.rows;
  a.epoch = chosen->orbit.epoch;
}

bool SeenFiles::first_time(const Acquisition& a, const std::string& reference_name,
                           std::vector<std::string>& warnings) {
  if (!a.identity) return true;
  const auto [it, added] = names_.emplace(*a.identity, a.name);
  if (added) return true;
  // The reference among the secondaries (REF dir/*) is what was meant.
  if (it->second != reference_name) warnings.push_back(a.name + " is the same file as " + it->second + ": used once");
  return false;
}

}  // namespace bperp::stack
