// The acquisitions a run uses when the command line chooses among them: the
// date filters applied, then the reference of --reference found by its date
// or file, or chosen by a criterion over one run of the stack in the
// geometry of the first input that can serve.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/command/request.h"
#include "bperp/stack/command/request_run.h"
#include "bperp/stack/inputs/orbit_catalogue.h"
#include "bperp/stack/network/date_filter.h"
#include "bperp/stack/network/reference_choice.h"

namespace bperp::stack {

// The inputs chosen, what the filters left out and how the reference was
// chosen (by a criterion), or why none could be (problem); warnings to
// report; cancelled when the request's stop check stopped the choice.
struct InputChoice {
  std::optional<RunInputs> inputs;  // none after a problem or when cancelled
  std::vector<FilteredAcquisition> filtered;
  std::optional<ReferenceChoice> reference;
  std::vector<std::string> warnings;  // of kind WarningKind::reference_choice
  std::string problem;
  bool cancelled = false;
};

// Whether the request chooses among its inputs (--reference or a date
// filter); without, the inputs are used as given.
bool chooses_inputs(const StackRequest& request);

// The inputs of a run as the request's filters and --reference choose them
// from given (the reference first, then the secondaries, each file read
// once here and handed on as read). Without --reference, the given
// reference stays the reference. A filter that leaves out the reference
// (given, or named by --reference DATE|PATH), an acquisition without a date
// under a filter, a --reference that names no input or one that cannot
// serve are problems.
InputChoice choose_inputs(const StackRequest& request, const RunInputs& given, const OrbitCatalogue* orbits);

// The notes on standard error: the acquisitions left out, in one line, and
// the reference chosen with the best five candidates (a line each).
std::vector<std::string> choice_notes(const InputChoice& choice);

}  // namespace bperp::stack
