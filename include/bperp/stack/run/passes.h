// Passes: the inputs a satellite gave on one flight over the scene. Slices
// of one pass, its swaths, or one product given in two forms make one
// acquisition; a pass never pairs with itself, and every export lists it
// once. Different passes of one date (two satellites, a pursuit pair) stay
// two acquisitions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/run/stack_run.h"

namespace bperp::stack {

// The most two inputs' times at the target may lie apart and still be one
// pass, s: the slices of a pass see a target within milliseconds of each
// other, and a pass flies over a scene in well under a minute; another pass
// of the same day comes at least one orbit (some 90 minutes) later, or is a
// satellite flying in formation, which a mission and orbit tell apart.
constexpr double same_pass_seconds = 60.0;

// One input as its pass is told: the file as read and its time at the
// target (zero Doppler) or at its closest approach, UTC, when known (for a
// secondary input, only where it gives a baseline).
struct PassKey {
  const Acquisition* acquisition = nullptr;
  std::optional<UtcTime> time;
};

// Why a and b are one pass, or "" when they are not or can't be shown to
// be: both state mission and absolute orbit, and those are equal ("S1A
// absolute orbit 58805"); else (where either states none) they are of one
// date and their times lie within same_pass_seconds ("of 2018-01-06, 0.000
// s apart at the target"). Inputs without a date or a time are one pass
// with nothing else.
std::string one_pass_reason(const PassKey& a, const PassKey& b);

// Why a and b, of one date, are not one pass: "absolute orbits 58805 and
// 58806", "3600.000 s apart at the target", or "no time at the target to
// compare".
std::string other_pass_reason(const PassKey& a, const PassKey& b);

// Whether an image sees a target at the zero-Doppler time and slant range
// (km): both within the spans of line times and of slant ranges that the
// image states (a bound it does not state, or a time not known, is not
// checked); nullopt when no span could be checked.
std::optional<bool> image_covers(const ImageTiming& image, const std::optional<UtcTime>& time,
                                 double slant_range_km);

// Whether a secondary's input covers the target its result is for (its
// image spans, image_covers); nullopt where it states none or the result
// has no zero-Doppler time and range.
std::optional<bool> input_covers(const SecondaryResult& result);

// Which input of a pass gives its result at one target, from the results of
// its inputs there in the order named: the first that gives a baseline and
// covers the target, else the first that gives a baseline, else the first.
std::size_t chosen_input(const std::vector<SecondaryResult>& results);

// The results of the secondary inputs read (in the order named, at the
// stack's target) gathered into run's passes: inputs of the reference's
// pass left out with a warning, the inputs of each other pass together
// (run.passes) with the result of the one chosen (run.secondaries) and one
// warning for a pass of several inputs naming them.
void gather_passes(StackRun& run, std::vector<SecondaryResult> results);

// Warnings for different passes of one date among the reference and the
// usable secondaries: each with the first of its date and why they are not
// one pass.
std::vector<std::string> same_date_warnings(const StackRun& run);

}  // namespace bperp::stack
