#include "bperp/stack/inputs/product.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "bperp/io/ascii_text.h"

namespace bperp::stack {

UtcTime acquisition_time(const ProductInfo& product) {
  return product.image.first_line ? *product.image.first_line : product.orbit.epoch;
}

std::optional<long> sentinel1_relative_orbit(const std::string& mission, long absolute_orbit) {
  // The orbit counts of S1A and S1B were started 73 and 27 orbits before
  // their first relative orbit; each repeats after 175 orbits (12 days).
  constexpr long cycle = 175;
  long offset = 0;
  if (mission == "S1A") offset = 73;
  else if (mission == "S1B") offset = 27;
  else return std::nullopt;
  return ((absolute_orbit - offset) % cycle + cycle) % cycle + 1;
}

bool geodetic_degrees(double latitude_deg, double longitude_deg) {
  return std::fabs(latitude_deg) <= 90.0 && std::fabs(longitude_deg) <= 360.0;
}

std::optional<LookSide> look_side_from_text(std::string_view text) {
  const std::string side = lower(trimmed(text));
  if (side == "right") return LookSide::right;
  if (side == "left") return LookSide::left;
  return std::nullopt;
}

std::optional<std::string> pass_from_text(std::string_view text) {
  const std::string pass = upper(trimmed(text));
  if (pass == "ASCENDING" || pass == "ASCEND") return std::string("ASCENDING");
  if (pass == "DESCENDING" || pass == "DESCEND") return std::string("DESCENDING");
  return std::nullopt;
}

std::optional<long> relative_orbit(const ProductInfo& product) {
  if (product.track) return product.track;
  if (!product.absolute_orbit) return std::nullopt;
  return sentinel1_relative_orbit(product.mission, *product.absolute_orbit);
}

bool sentinel1_mission(const std::string& mission) {
  return mission.size() == 3 && mission.starts_with("S1") && mission[2] >= 'A' && mission[2] <= 'Z';
}

std::string track_family(const std::string& mission) {
  if (sentinel1_mission(mission)) return "Sentinel-1";
  if (mission == "TSX-1" || mission == "TDX-1") return "TerraSAR-X";
  return mission;
}

std::string burst_id_text(long track, long burst, const std::string& swath) {
  char text[64];
  std::snprintf(text, sizeof text, "t%03ld_%06ld_", track, burst);
  return text + lower(swath);
}

std::optional<BurstId> parse_burst_id(std::string_view text) {
  // t, three digits, _, six digits, _, a swath of letters then digits.
  const std::string id = lower(text);
  const auto digits = [&](std::size_t from, std::size_t count) {
    long v = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      if (i >= id.size() || id[i] < '0' || id[i] > '9') return -1L;
      v = v * 10 + (id[i] - '0');
    }
    return v;
  };
  constexpr std::size_t track_at = 1, burst_at = 5, swath_at = 12;
  if (id.size() <= swath_at + 1 || id[0] != 't' || id[4] != '_' || id[11] != '_') return std::nullopt;
  const long track = digits(track_at, 3), burst = digits(burst_at, 6);
  const std::string swath = id.substr(swath_at);
  const std::size_t letters = swath.find_first_of("0123456789");
  const bool swath_form = letters != std::string::npos && letters > 0 &&
                          swath.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == letters &&
                          swath.find_first_not_of("0123456789", letters) == std::string::npos;
  if (track < 1 || burst < 1 || !swath_form) return std::nullopt;
  return BurstId{track, burst, upper(swath)};
}

namespace {

// The azimuth times of burst k's first and last lines; nullopt without the
// lines per burst and the line interval.
std::optional<std::pair<UtcTime, UtcTime>> burst_span(const ProductInfo& p, std::size_t k) {
  if (!p.lines_per_burst || !p.image.line_interval_s) return std::nullopt;
  const double length = static_cast<double>(*p.lines_per_burst - 1) * *p.image.line_interval_s;
  return std::make_pair(p.burst_times[k], add_seconds(p.burst_times[k], length));
}

}  // namespace

std::string burst_id_at(const ProductInfo& product, UtcTime t) {
  if (product.burst_ids.size() == 1 && product.burst_times.empty()) return product.burst_ids.front();
  if (product.burst_ids.size() != product.burst_times.size()) return {};
  std::string best;
  double closest = INFINITY;
  for (std::size_t k = 0; k < product.burst_times.size(); ++k) {
    const auto span = burst_span(product, k);
    if (!span || t < span->first || t > span->second) continue;
    const double from_middle = std::fabs(seconds_between(span->first, t) - 0.5 * seconds_between(span->first, span->second));
    if (from_middle < closest) {
      closest = from_middle;
      best = product.burst_ids[k];
    }
  }
  return best;
}

std::optional<UtcTime> burst_middle(const ProductInfo& product, const std::string& id) {
  if (product.burst_ids.size() != product.burst_times.size()) return std::nullopt;
  const std::string wanted = lower(id);
  for (std::size_t k = 0; k < product.burst_ids.size(); ++k) {
    if (product.burst_ids[k] != wanted) continue;
    const auto span = burst_span(product, k);
    if (!span) return std::nullopt;
    return add_seconds(span->first, 0.5 * seconds_between(span->first, span->second));
  }
  return std::nullopt;
}

}  // namespace bperp::stack
