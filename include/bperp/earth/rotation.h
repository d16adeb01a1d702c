// The earth's rotation rate, rad/s, about the z axis of the earth-fixed frame.
//
// Two literals, which differ in their last digits, and both must stay as they
// are: each stage of the computation has always used its own, and the
// printed baselines depend on that to the last digit.
//  - run_omega: the baseline run turns each earth-fixed velocity into the
//    inertial one with it (v + omega x r), before the scene point is sought.
//  - doppler_omega: the Doppler stage moves the scene point with the earth
//    (its velocity, acceleration, jerk and snap) with it.
// Do not merge them.
#pragma once

namespace bperp {

constexpr double run_omega = 7.292115854896798e-05;
constexpr double doppler_omega = 7.2921158548968e-05;

}  // namespace bperp
