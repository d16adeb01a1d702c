// The reference's view of the stack's target: bperp's beam geometry of a
// state vector, or the zero-Doppler view of a product or a dated orbit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/run/stack_run.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// The zero-Doppler view of the target that target asks for from the
// reference a (a product or a dated orbit, read without refusal): at a
// point, at a time and slant range, or by default the middle of its image
// (a geocoded product: the centre of its grid), with its wavelength,
// Doppler centroid and track, and whether the target lies outside its
// image. The refusal, naming a, when its orbit can't be a SAR's, it can't
// see the target (a point on the other side of its track than it looks to
// among them), or it lacks a slant range or a wavelength (all it lacks
// named in one). With warnings, a --look that a product (which knows its
// look side) does not use, and a target outside the image, are noted there.
std::optional<Refusal> zero_doppler_view(const Acquisition& a, const TargetOptions& target,
                                         ZeroDopplerReference& view,
                                         std::vector<Warning>* warnings = nullptr);

// The beam geometry of the state-vector reference a, its Doppler scaled to
// the wavelength target gives (else the settings'). The refusal when a
// target is asked for, the state vector can't be a SAR's, or bperp refuses
// it as a master.
std::optional<Refusal> beam_view(const Acquisition& a, const TargetOptions& target, ReferenceGeometry& view);

}  // namespace bperp::stack
