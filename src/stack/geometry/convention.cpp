#include "bperp/stack/geometry/convention.h"

namespace bperp::stack {

ConventionSigns convention_signs(Convention convention, LookSide side) {
  switch (convention) {
    case Convention::bperp:
      return {1.0, 1.0};
    case Convention::isce:
      // ((T - R) x (S - R)) . V_R turns sign with the look side; (S - R) . U does not.
      return {-1.0, side == LookSide::right ? 1.0 : -1.0};
    case Convention::gamma:
      return {-1.0, -1.0};
  }
  return {};
}

std::string_view convention_name(Convention convention) {
  switch (convention) {
    case Convention::bperp: return "bperp";
    case Convention::isce: return "isce";
    case Convention::gamma: return "gamma";
  }
  return {};
}

std::optional<Convention> convention_of(std::string_view name) {
  for (const Convention c : {Convention::bperp, Convention::isce, Convention::gamma})
    if (convention_name(c) == name) return c;
  return std::nullopt;
}

std::string convention_text(Convention convention) {
  switch (convention) {
    case Convention::bperp:
      return "bperp's: B = reference - secondary, parallel along the line of sight to the target, "
             "perpendicular positive away from the earth";
    case Convention::isce:
      return "ISCE's: parallel (S - R) . U, perpendicular with the sign of ((T - R) x (S - R)) . V_R";
    case Convention::gamma:
      return "GAMMA's: B = secondary - reference, perpendicular positive away from the earth";
  }
  return {};
}

}  // namespace bperp::stack
