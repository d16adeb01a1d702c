#include "bperp/stack/run/passes.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// The mission and absolute orbit a product states, when it states both.
std::optional<std::pair<std::string, long>> mission_orbit(const Acquisition& a) {
  if (!a.product || a.product->mission.empty() || !a.product->absolute_orbit) return std::nullopt;
  return std::make_pair(a.product->mission, *a.product->absolute_orbit);
}

std::string orbit_text(const std::pair<std::string, long>& orbit) {
  return orbit.first + " absolute orbit " + std::to_string(orbit.second);
}

// |b - a| in seconds, when both times are known.
std::optional<double> seconds_apart(const PassKey& a, const PassKey& b) {
  if (!a.time || !b.time) return std::nullopt;
  return std::fabs(seconds_between(*a.time, *b.time));
}

// "A", "A and B", "A, B and C".
std::string names_text(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k)
    text += (k == 0 ? "" : k + 1 == names.size() ? " and " : ", ") + names[k];
  return text;
}

// The key of a secondary input's result: its time only where it gives a
// baseline (a refused input's time may be anything: it flies another way,
// or its orbit ends before the target).
PassKey key_of(const SecondaryResult& r) { return {&r.acquisition(), r.ok() ? r.time : std::nullopt}; }

// The reference's key: its time at the target in the zero-Doppler geometry
// (the beam geometry has none).
PassKey reference_key(const StackRun& run) {
  const ZeroDopplerReference* z = zero_doppler_of(run.view);
  return {&run.reference, z ? z->time : std::nullopt};
}

}  // namespace

std::string one_pass_reason(const PassKey& a, const PassKey& b) {
  const auto orbit_a = mission_orbit(*a.acquisition), orbit_b = mission_orbit(*b.acquisition);
  if (orbit_a && orbit_b) return *orbit_a == *orbit_b ? orbit_text(*orbit_a) : std::string();
  const std::optional<long>& day = a.acquisition->day;
  if (!day || day != b.acquisition->day) return {};
  const std::optional<double> apart = seconds_apart(a, b);
  if (!apart || !(*apart <= same_pass_seconds)) return {};
  return "of " + day_text(day) + ", " + fixed_text(*apart, 3) + " s apart at the target";
}

std::string other_pass_reason(const PassKey& a, const PassKey& b) {
  const auto orbit_a = mission_orbit(*a.acquisition), orbit_b = mission_orbit(*b.acquisition);
  if (orbit_a && orbit_b && *orbit_a != *orbit_b) return orbit_text(*orbit_a) + " and " + orbit_text(*orbit_b);
  if (const std::optional<double> apart = seconds_apart(a, b)) return fixed_text(*apart, 3) + " s apart at the target";
  return "no time at the target to compare them by";
}

std::optional<bool> image_covers(const ImageTiming& image, const std::optional<UtcTime>& time,
                                 double slant_range_km) {
  std::optional<bool> covers;
  if (time && image.first_line && image.last_line)
    covers = *image.first_line <= *time && *time <= *image.last_line;
  if (image.near_range_m && image.far_range_m && std::isfinite(slant_range_km)) {
    const double r = slant_range_km * units::metres_per_km;
    covers = covers.value_or(true) && *image.near_range_m <= r && r <= *image.far_range_m;
  }
  return covers;
}

std::optional<bool> input_covers(const SecondaryResult& result) {
  const Acquisition& a = result.acquisition();
  if (!a.product || !result.zero_doppler) return std::nullopt;
  return image_covers(a.product->image, result.time, result.zero_doppler->secondary_range);
}

std::size_t chosen_input(const std::vector<SecondaryResult>& results) {
  for (std::size_t k = 0; k < results.size(); ++k)
    if (results[k].ok() && input_covers(results[k]) == true) return k;
  for (std::size_t k = 0; k < results.size(); ++k)
    if (results[k].ok()) return k;
  return 0;
}

void gather_passes(StackRun& run, std::vector<SecondaryResult> results) {
  const PassKey reference = reference_key(run);
  std::vector<std::vector<SecondaryResult>> members;  // per pass, its inputs' results
  std::vector<std::string> reasons;                   // per pass, why its inputs are one
  std::map<long, std::vector<std::size_t>> passes_of_day;
  std::map<std::pair<std::string, long>, std::size_t> pass_of_orbit;
  for (SecondaryResult& r : results) {
    const PassKey key = key_of(r);
    if (const std::string why = one_pass_reason(reference, key); !why.empty()) {
      run.warnings.push_back({WarningKind::same_pass, key.acquisition->name + " is of the reference's pass (" +
                                                          why + "): not used as a secondary"});
      continue;
    }
    // The passes it may belong to: those of its date and of its orbit.
    std::vector<std::size_t> candidates;
    if (key.acquisition->day)
      if (const auto day = passes_of_day.find(*key.acquisition->day); day != passes_of_day.end())
        candidates = day->second;
    const auto orbit = mission_orbit(*key.acquisition);
    if (orbit)
      if (const auto it = pass_of_orbit.find(*orbit); it != pass_of_orbit.end()) candidates.push_back(it->second);
    std::optional<std::size_t> pass;
    std::string why;
    for (const std::size_t p : candidates) {
      for (const SecondaryResult& m : members[p])
        if (why = one_pass_reason(key_of(m), key); !why.empty()) break;
      if (!why.empty()) {
        pass = p;
        break;
      }
    }
    if (!pass) {
      pass = members.size();
      members.emplace_back();
      reasons.emplace_back();
    }
    if (reasons[*pass].empty()) reasons[*pass] = why;
    if (key.acquisition->day) {
      std::vector<std::size_t>& of_day = passes_of_day[*key.acquisition->day];
      if (std::find(of_day.begin(), of_day.end(), *pass) == of_day.end()) of_day.push_back(*pass);
    }
    if (orbit) pass_of_orbit.emplace(*orbit, *pass);
    members[*pass].push_back(std::move(r));
  }
  run.passes.reserve(members.size());
  run.secondaries.reserve(members.size());
  for (std::size_t p = 0; p < members.size(); ++p) {
    PassInputs inputs;
    std::vector<std::string> names;
    for (const SecondaryResult& m : members[p]) {
      inputs.push_back(m.source);
      names.push_back(m.acquisition().name);
    }
    const std::size_t chosen = chosen_input(members[p]);
    if (members[p].size() > 1)
      run.warnings.push_back({WarningKind::same_pass, names_text(names) + " are one pass (" + reasons[p] +
                                                          "): one acquisition, " + names[chosen] +
                                                          " used at the target"});
    run.passes.push_back(std::move(inputs));
    run.secondaries.push_back(std::move(members[p][chosen]));
  }
}

std::vector<std::string> same_date_warnings(const StackRun& run) {
  std::vector<std::string> warnings;
  std::map<long, PassKey> first_of_day;
  const PassKey reference = reference_key(run);
  if (run.reference.day) first_of_day.emplace(*run.reference.day, reference);
  for (const SecondaryResult& s : run.secondaries) {
    const Acquisition& a = s.acquisition();
    if (!a.day || !s.ok()) continue;
    const PassKey key = key_of(s);
    const auto [it, added] = first_of_day.emplace(*a.day, key);
    if (!added)
      warnings.push_back(a.name + " and " + it->second.acquisition->name + " are both of " + day_text(a.day) +
                         ", but not one pass (" + other_pass_reason(key, it->second) +
                         "): two acquisitions, 0 days apart");
  }
  return warnings;
}

}  // namespace bperp::stack
