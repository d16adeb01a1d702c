// The sensor's beam table: the off-nadir angle of each of its beams, the
// beam every baseline run looks through, and degrees to radians as the run
// converts the table's angles (a literal of its own, on which the printed
// digits depend).
#pragma once

namespace bperp {

constexpr int beam_count = 35;
// Off-nadir angle of each beam, degrees (beam 7: 34.3).
extern const double data_vornix_off[beam_count];
constexpr int run_beam = 7;
constexpr double degrees_to_radians = 0.0174532925199433;

}  // namespace bperp
