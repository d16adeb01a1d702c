// The run's fixed settings: where each one stands in the processing
// parameter vector facter_m, the values every run stores there, and the
// layout of the state-vector matrices data_m and data_s.
#pragma once

#include "bperp/numeric/arrays.h"

namespace bperp {

// Indices into facter_m (a vector with indices 0..1000).
namespace param {
constexpr int light_speed = 7;         // c, km/s
constexpr int carrier_frequency = 8;   // f0, Hz
constexpr int yaw = 9;                 // alpha, rad, about the radial axis
constexpr int doppler_model = 30;      // selector; 4: scan_point_sar_2
constexpr int earth_model = 66;        // model number for earth_r2
constexpr int look_side = 90;          // +1 right of the flight direction, -1 left
constexpr int roll = 94;               // rad, about the along-track axis (used negated)
constexpr int pitch = 95;              // gamma, rad, about the cross-track axis
constexpr int ellipsoid_a = 137;       // equatorial semi-axis of the scene ellipsoid, km
constexpr int ellipsoid_b = 138;       // polar semi-axis of the scene ellipsoid, km
constexpr int derivative_switch = 275; // 9: second and third Doppler derivatives are 0
constexpr int high = 1000;             // highest index of the vector
constexpr int cleared = 1000;          // indices 0..999 are cleared before filling
}  // namespace param

// The values every run stores.
namespace setting {
constexpr double doppler_model = 4.0;
constexpr double light_speed = 300000.0;          // km/s
constexpr double carrier_frequency = 1270000000.0;  // Hz, L band
constexpr double yaw = 0.0;
constexpr double earth_model = 1.0;
constexpr double look_side = 1.0;
constexpr double roll = 0.0;
constexpr double pitch = 0.0;
constexpr double ellipsoid_a = 6378.137;
constexpr double ellipsoid_b = 6356.7523141;
constexpr double derivative_switch = 0.0;
}  // namespace setting

// The radar wavelength of the settings, c / f0, km (0.23622 m).
constexpr double settings_wavelength_km = setting::light_speed / setting::carrier_frequency;

// Layout of a state-vector matrix, dmatrix(0, 6, 0, 3): position in rows
// 0..2 and inertial velocity (earth-fixed velocity plus omega x r) in rows
// 3..5 of column 0; column 1 keeps the earth-fixed velocity as read.
namespace sv {
constexpr int x = 0;   // km
constexpr int y = 1;
constexpr int z = 2;
constexpr int vx = 3;  // km/s, with the earth-rotation term
constexpr int vy = 4;
constexpr int vz = 5;
constexpr int state = 0;      // column of the state used by the computation
constexpr int as_read = 1;    // column of the velocity as read
constexpr int row_high = 6;
constexpr int col_high = 3;
constexpr int used_rows = 6;  // rows 0..5 are cleared and filled
constexpr int used_cols = 3;  // columns 0..2 are cleared
}  // namespace sv

// The settings vector facter_m, dvector(0, 1000): indices 0..999 cleared,
// then the fixed settings stored at their indices. On an exhausted heap,
// nrerror.
DVector processing_parameters();

}  // namespace bperp
