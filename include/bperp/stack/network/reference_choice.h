// Choosing a stack's reference among its acquisitions by a criterion, from
// their baselines against one geometry: each candidate's perpendicular
// baseline to another is the difference of the two against that geometry,
// as for the pairs (pairs.h).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/stack/network/coherence.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

enum class ReferenceCriterion {
  coherence,  // the largest mean modelled coherence to the other acquisitions
  distance,   // the smallest mean of |days| / Dt + |B_perp| / Bp to the others
  centre,     // the smallest |days - median| / Dt + |B_perp - median| / Bp
};

// "coherence", "distance", "centre"; the criterion of such a word, or none.
const char* criterion_name(ReferenceCriterion criterion);
std::optional<ReferenceCriterion> criterion_of(std::string_view word);

// What each criterion's score is, for the notes ("the mean modelled
// coherence to the other acquisitions").
std::string criterion_meaning(ReferenceCriterion criterion);

// One candidate's score: the point (index into the points) and its score.
struct ReferenceScore {
  std::size_t point = 0;
  double score = NAN;
};

// The scores of the candidates (indices into points, each once) by
// criterion, the best first: the largest mean coherence, or the smallest
// distance; on a tie the one first in the network's order (date, then the
// order given). Every point counts among the others, candidate or not; a
// point's days count 0 where a date is missing. Coherence by model (NaN
// without a range bandwidth or a date, so that the caller falls back to
// distance). One pass over the pairs of points: O(n^2) time, O(n) memory.
std::vector<ReferenceScore> reference_scores(const std::vector<NetworkPoint>& points,
                                             const std::vector<std::size_t>& candidates,
                                             ReferenceCriterion criterion, const DistanceScale& scale,
                                             const CoherenceModel& model = {});

// How a reference was chosen by a criterion, for the reports: the
// criterion asked for and the one used (distance where coherence has no
// model), the acquisition whose geometry the scores are in, and every
// candidate's score, the best (the one chosen) first.
struct ReferenceChoice {
  struct Candidate {
    std::string name;
    std::optional<long> day;
    double score = NAN;
  };
  ReferenceCriterion asked = ReferenceCriterion::coherence;
  ReferenceCriterion used = ReferenceCriterion::coherence;
  std::string geometry;
  std::vector<Candidate> scores;
};

// The median of values (the mean of the middle two for an even count; NaN
// for none).
double median(std::vector<double> values);

}  // namespace bperp::stack
