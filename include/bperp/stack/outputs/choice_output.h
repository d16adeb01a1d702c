// What a run chose before it ran, in its JSON document: the acquisitions
// the date filters left out and how --reference auto chose the reference.
#pragma once

#include <vector>

#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/reference_choice.h"
#include "bperp/stack/outputs/json_writer.h"

namespace bperp::stack {

// The choices to report: null where none was made (no filter given, no
// reference chosen by a criterion).
struct RunChoices {
  const std::vector<FilteredAcquisition>* filtered = nullptr;
  const ReferenceChoice* reference = nullptr;
};

// Into the object json has open: "reference_choice" ({"criterion" used,
// "asked", "geometry" (the name of the acquisition the scores were computed
// against) and "scores": [{"name", "date", "score"}, ...], the best
// first}) and "filtered" ([{"name", "date", "filter"}, ...]), each only
// where choices has it.
void choices_json(JsonWriter& json, const RunChoices& choices);

}  // namespace bperp::stack
