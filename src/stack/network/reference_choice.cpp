#include "bperp/stack/network/reference_choice.h"

#include <algorithm>
#include <cmath>

namespace bperp::stack {

const char* criterion_name(ReferenceCriterion criterion) {
  switch (criterion) {
    case ReferenceCriterion::coherence: return "coherence";
    case ReferenceCriterion::distance: return "distance";
    case ReferenceCriterion::centre: return "centre";
  }
  return "";
}

std::optional<ReferenceCriterion> criterion_of(std::string_view word) {
  for (const ReferenceCriterion c :
       {ReferenceCriterion::coherence, ReferenceCriterion::distance, ReferenceCriterion::centre})
    if (word == criterion_name(c)) return c;
  return std::nullopt;
}

std::string criterion_meaning(ReferenceCriterion criterion) {
  switch (criterion) {
    case ReferenceCriterion::coherence: return "the mean modelled coherence to the other acquisitions, the largest best";
    case ReferenceCriterion::distance: return "the mean of |days| / Dt + |perpendicular| / Bp to the other acquisitions, the smallest best";
    case ReferenceCriterion::centre: return "|days - median| / Dt + |perpendicular - median| / Bp from the stack's median, the smallest best";
  }
  return "";
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  const std::size_t half = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
  const double upper = values[half];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half));
  return 0.5 * (lower + upper);
}

namespace {

double day_of(const NetworkPoint& p) { return static_cast<double>(p.day.value_or(0)); }

// |days| / Dt + |perpendicular| / Bp between two points.
double scaled_apart(const NetworkPoint& a, const NetworkPoint& b, const DistanceScale& scale) {
  return std::fabs(day_of(b) - day_of(a)) / scale.days + std::fabs(b.perpendicular - a.perpendicular) / scale.metres;
}

}  // namespace

std::vector<ReferenceScore> reference_scores(const std::vector<NetworkPoint>& points,
                                             const std::vector<std::size_t>& candidates,
                                             ReferenceCriterion criterion, const DistanceScale& scale,
                                             const CoherenceModel& model) {
  const std::size_t n = points.size();
  std::vector<double> score(n, 0.0);
  if (criterion == ReferenceCriterion::centre) {
    std::vector<double> days, metres;
    for (const NetworkPoint& p : points) {
      days.push_back(day_of(p));
      metres.push_back(p.perpendicular);
    }
    const double middle_day = median(days), middle_metres = median(metres);
    for (const std::size_t c : candidates)
      score[c] = std::fabs(day_of(points[c]) - middle_day) / scale.days +
                 std::fabs(points[c].perpendicular - middle_metres) / scale.metres;
  } else {
    // Each pair of points once, its term added to each member that is a
    // candidate.
    std::vector<bool> candidate(n, false);
    for (const std::size_t c : candidates) candidate[c] = true;
    const PairModel pair_model(model);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = i + 1; j < n; ++j) {
        if (!candidate[i] && !candidate[j]) continue;
        const double term = criterion == ReferenceCriterion::coherence ? pair_coherence(points, i, j, pair_model)
                                                                       : scaled_apart(points[i], points[j], scale);
        if (candidate[i]) score[i] += term;
        if (candidate[j]) score[j] += term;
      }
    const double others = n > 1 ? static_cast<double>(n - 1) : 1.0;
    for (const std::size_t c : candidates) score[c] /= others;
  }
  const bool dated = all_dated(points);
  std::vector<ReferenceScore> scores;
  for (const std::size_t c : candidates) scores.push_back({c, score[c]});
  const bool larger_best = criterion == ReferenceCriterion::coherence;
  std::sort(scores.begin(), scores.end(), [&](const ReferenceScore& a, const ReferenceScore& b) {
    if (std::isnan(a.score) != std::isnan(b.score)) return !std::isnan(a.score);
    if (a.score != b.score && !std::isnan(a.score)) return larger_best ? a.score > b.score : a.score < b.score;
    if (dated && *points[a.point].day != *points[b.point].day) return *points[a.point].day < *points[b.point].day;
    return a.point < b.point;
  });
  return scores;
}

}  // namespace bperp::stack
