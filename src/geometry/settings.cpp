#include "bperp/geometry/settings.h"

namespace bperp {

DVector processing_parameters() {
  DVector f = dvector(0, param::high);
  set_zero_double(f.data(), param::cleared);
  f[param::doppler_model] = setting::doppler_model;
  f[param::light_speed] = setting::light_speed;
  f[param::carrier_frequency] = setting::carrier_frequency;
  f[param::yaw] = setting::yaw;
  f[param::earth_model] = setting::earth_model;
  f[param::look_side] = setting::look_side;
  f[param::roll] = setting::roll;
  f[param::pitch] = setting::pitch;
  f[param::ellipsoid_a] = setting::ellipsoid_a;
  f[param::ellipsoid_b] = setting::ellipsoid_b;
  f[param::derivative_switch] = setting::derivative_switch;
  return f;
}

}  // namespace bperp
