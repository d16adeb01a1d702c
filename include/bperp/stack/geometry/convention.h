// The sign conventions in which processors write a baseline's parallel and
// perpendicular components, as signs to put on this tool's own (B =
// reference - secondary; parallel B . U with U the unit line of sight from
// the reference to the target; perpendicular across U in the plane normal
// to the reference velocity, positive away from the earth):
//
//   bperp  this tool's own: the signs +1, +1;
//   isce   ISCE's (topsStack and stripmapStack, which MintPy reads): Bpar =
//          (S - R) . U, minus ours; Bperp with the sign of
//          ((T - R) x (S - R)) . V_R, which is ours for a right-looking
//          reference and minus ours for a left-looking one;
//   gamma  the GAMMA tables' (which LiCSAR copies into the baselines file
//          LiCSBAS reads): B = secondary - reference, both components minus
//          ours, whatever the look side.
//
// The ISCE and GAMMA signs were measured on the published values of the
// shared track-108 and relative-orbit-5 data (tests/data/README.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

enum class Convention { bperp, isce, gamma };

// What to multiply this tool's parallel and perpendicular components by
// (and so a height of ambiguity, which follows the perpendicular's sign).
struct ConventionSigns {
  double parallel = 1.0;
  double perpendicular = 1.0;
};

// The signs of convention for a reference that looks to side.
ConventionSigns convention_signs(Convention convention, LookSide side);

// "bperp", "isce", "gamma"; and back (nullopt for another word).
std::string_view convention_name(Convention convention);
std::optional<Convention> convention_of(std::string_view name);

// One line saying what the convention's two components are, for the
// table's header and the messages.
std::string convention_text(Convention convention);

}  // namespace bperp::stack
