#include "bperp/geometry/scene_point.h"

#include <cmath>

#include "bperp/geometry/settings.h"
#include "bperp/earth/earth_model.h"
#include "bperp/earth/rotation.h"
#include "bperp/numeric/scalar.h"
#include "bperp/numeric/vec3.h"

namespace bperp {

namespace {

// Along-track tilt of the look direction, rad: fixed for this sensor.
constexpr double kSigma = 0.0;

struct Vec3 {
  double x, y, z;
};

// The orbital frame of a satellite at P moving with Vs: cross-track e_c
// along Vs x P, radial e_r along P, along-track e_a = e_r x e_c.
struct OrbitalFrame {
  Vec3 e_c, e_a, e_r;
};

OrbitalFrame orbital_frame(const Vec3& P, const Vec3& Vs) {
  OrbitalFrame f;
  const double Nx = Vs.y * P.z - P.y * Vs.z;
  const double Ny = Vs.z * P.x - Vs.x * P.z;
  const double Nz = P.y * Vs.x - Vs.y * P.x;
  const double inv_n = 1.0 / std::sqrt(Nx * Nx + Ny * Ny + Nz * Nz);
  f.e_c = {Nx * inv_n, Ny * inv_n, Nz * inv_n};
  const double inv_r = 1.0 / std::sqrt(ipow(P.x, 2) + ipow(P.y, 2) + ipow(P.z, 2));
  f.e_r = {P.x * inv_r, P.y * inv_r, P.z * inv_r};
  f.e_a = {f.e_r.y * f.e_c.z - f.e_r.z * f.e_c.y, f.e_r.z * f.e_c.x - f.e_r.x * f.e_c.z,
           f.e_r.x * f.e_c.y - f.e_r.y * f.e_c.x};
  return f;
}

// c_c e_c + c_a e_a + c_r e_r in earth-fixed components.
Vec3 combine(const OrbitalFrame& f, double c_c, double c_a, double c_r) {
  return {c_c * f.e_c.x + c_a * f.e_a.x + c_r * f.e_r.x,
          c_c * f.e_c.y + c_a * f.e_a.y + c_r * f.e_r.y,
          c_c * f.e_c.z + c_a * f.e_a.z + c_r * f.e_r.z};
}

// The frame turned by yaw alpha (about e_r), roll beta (about e_a) and pitch
// gamma (about e_c): columns of Rx(gamma) Ry(beta) Rz(alpha).
OrbitalFrame attitude_frame(const OrbitalFrame& f, double alpha, double beta, double gamma) {
  const double ca = std::cos(alpha), sa = std::sin(alpha);
  const double cb = std::cos(beta), sb = std::sin(beta);
  const double cg = std::cos(gamma), sg = std::sin(gamma);
  OrbitalFrame k;
  k.e_c = combine(f, ca * cb, sa * cg + ca * sb * sg, sa * sg - ca * sb * cg);
  k.e_a = combine(f, -sa * cb, ca * cg - sa * sb * sg, ca * sg + sa * sb * cg);
  k.e_r = combine(f, sb, -cb * sg, cb * cg);
  return k;
}

}  // namespace

void scan_point_sar_2(const DVector& facter_m, const DMatrix& data_m, double R,
                      double* scene_point, double* doppler_out, int mode,
                      SceneSearch* search) {
  (void)mode;  // the system knows mode 2 only
  const int model = rtoi(facter_m[param::earth_model]);
  const int derivative_switch = rtoi(facter_m[param::derivative_switch]);

  const Vec3 P = {data_m[sv::x][sv::state], data_m[sv::y][sv::state], data_m[sv::z][sv::state]};
  const Vec3 Vs = {data_m[sv::vx][sv::state], data_m[sv::vy][sv::state],
                   data_m[sv::vz][sv::state]};

  double geo[geodetic::size];
  earth_r2(P.x, P.y, P.z, geo, model);
  const double h = geo[geodetic::height];

  // Flat-earth start: the look angle from nadir at which R reaches height h.
  double theta = std::acos(h / R);
  const double r = std::sqrt((P.x * P.x + P.y * P.y) + P.z * P.z);

  const OrbitalFrame frame = orbital_frame(P, Vs);
  const OrbitalFrame k = attitude_frame(frame, facter_m[param::yaw], -facter_m[param::roll],
                                        facter_m[param::pitch]);

  // Cross-track look term A and downward look term B: the candidate point at
  // angle theta is P + sin(theta) A + cos(theta) B, at distance R from P.
  const double side_R = facter_m[param::look_side] * R;
  const Vec3 A = {k.e_c.x * side_R, k.e_c.y * side_R, k.e_c.z * side_R};
  const double s_sigma = std::sin(kSigma), c_sigma = std::cos(kSigma);
  const Vec3 B = {R * (s_sigma * k.e_a.x - c_sigma * k.e_r.x),
                  R * (s_sigma * k.e_a.y - c_sigma * k.e_r.y),
                  R * (s_sigma * k.e_a.z - c_sigma * k.e_r.z)};

  Vec3 T = {0.0, 0.0, 0.0};
  SceneSearch found;
  found.height = h;
  // False exactly when theta is NaN (acos gives 0..pi).
  if (std::fabs(1.0 / theta) > 1e-9) {
    found.started = true;
    const double a = facter_m[param::ellipsoid_a];
    const double b = facter_m[param::ellipsoid_b];
    const double a2 = a * a;
    const double q = (a2 * (1.0 / b)) * (1.0 / b);  // (a/b)^2
    int n = 0;
    for (;;) {
      const double ct = std::cos(theta), st = std::sin(theta);
      T = {P.x + st * A.x + ct * B.x, P.y + st * A.y + ct * B.y, P.z + st * A.z + ct * B.z};
      ++n;
      const double dX = ct * A.x - st * B.x;
      const double dY = ct * A.y - st * B.y;
      const double dZ = ct * A.z - st * B.z;
      // Ellipsoid equation scaled by a^2: X^2 + Y^2 + (a/b)^2 Z^2 - a^2.
      const double F = ((T.x * T.x - a2) + T.y * T.y) + (q * T.z) * T.z;
      const double d = -F / ((dX * T.x + dY * T.y + (q * T.z) * dZ) * 2.0);
      theta = theta + d;
      const double relative_step = std::fabs(d * (1.0 / theta));
      found.converged = relative_step <= 1e-9;
      if (n > newton_max_iterations - 1) break;
      if (!(relative_step > 1e-9)) break;  // NaN stops here too
    }
    found.iterations = n;
  }
  found.look_angle = theta;

  scene_point[0] = T.x;
  scene_point[1] = T.y;
  scene_point[2] = T.z;

  const double Pa[3] = {P.x, P.y, P.z};
  const double Va[3] = {Vs.x, Vs.y, Vs.z};
  const double er[3] = {frame.e_r.x, frame.e_r.y, frame.e_r.z};
  const double L[3] = {T.x - P.x, T.y - P.y, T.z - P.z};
  doppler_derivatives(Pa, Va, r, er, scene_point, L, facter_m[param::light_speed],
                      facter_m[param::carrier_frequency], derivative_switch, doppler_out);
  if (search != nullptr) *search = found;
}

void doppler_derivatives(const double* P, const double* Vs, double r, const double* e_r,
                         const double* T, const double* L, double c_km_s, double f0_hz,
                         int derivative_switch, double* doppler_out) {
  // Earth rotation rate and its powers, rad/s (as products of this literal).
  constexpr double omega = doppler_omega;
  constexpr double minus_omega2 = -5.317495364123728e-09;
  constexpr double omega3 = 3.877579225306687e-13;
  constexpr double omega4 = 2.827575694747734e-17;
  // Gravitational parameter mu, km^3/s^2, and the multiples that appear.
  constexpr double mu = 398600.5;
  constexpr double minus_mu = -398600.5;
  constexpr double three_mu = 1195801.5;
  constexpr double fifteen_mu = 5979007.5;
  constexpr double minus_two_mu2 = -317764717200.5;

  // Velocity, acceleration, jerk and snap of the scene point turning with
  // the earth about z.
  const double VT[3] = {-omega * T[1], omega * T[0], 0.0};
  const double AT[3] = {minus_omega2 * T[0], minus_omega2 * T[1], 0.0};
  const double JT[3] = {omega3 * T[1], -omega3 * T[0], 0.0};
  const double ST[3] = {omega4 * T[0], omega4 * T[1], 0.0};

  // The satellite on a two-body orbit: a = -mu P / r^3 and its derivatives.
  const double s = P[0] * Vs[0] + P[1] * Vs[1] + P[2] * Vs[2];
  const double w = Vs[0] * Vs[0] + Vs[1] * Vs[1] + Vs[2] * Vs[2];
  double L1[3], L2[3], L3[3], L4[3];
  for (int i = 0; i < 3; ++i) {
    const double JS = (minus_mu / ipow(r, 3)) * Vs[i] + ((three_mu / ipow(r, 5)) * P[i]) * s;
    const double SS =
        ((-((fifteen_mu * s) * s)) / ipow(r, 7) +
         ((three_mu / ipow(r, 5)) * w + minus_two_mu2 / ipow(r, 6))) *
        P[i];
    L1[i] = VT[i] - Vs[i];
    L2[i] = (e_r[i] * mu) / ipow(r, 2) + AT[i];
    L3[i] = JT[i] - JS;
    L4[i] = ST[i] - SS;
  }

  const double d00 = dot(L, L), d01 = dot(L, L1), d11 = dot(L1, L1);
  const double d02 = dot(L, L2), d12 = dot(L1, L2), d03 = dot(L, L3);
  const double d13 = dot(L1, L3), d22 = dot(L2, L2), d04 = dot(L, L4);

  // rho = |L| and its time derivatives.
  const double rho = std::sqrt(d00);
  const double Q = d11 + d02;
  const double R1 = d01 / std::sqrt(d00);
  const double R2 = Q / rho - (d01 * d01) / std::pow(d00, 1.5);
  const double R3 = (-(d01 * (3.0 * Q))) / std::pow(d00, 1.5) +
                    (ipow(d01, 3) * 3.0) / std::pow(d00, 2.5) + (3.0 * d12 + d03) / rho;
  const double R4 =
      ((4.0 * d13 + 3.0 * d22) + d04) / rho +
      ((((-15.0 * ipow(d01, 4)) / std::pow(d00, 3.5) +
         ((Q * 18.0) * (d01 * d01)) / std::pow(d00, 2.5)) -
        (Q * Q) * (3.0 / std::pow(d00, 1.5))) +
       (-((d03 * 4.0 + 12.0 * d12) * d01)) / std::pow(d00, 1.5));

  // f_D = -2 / lambda * d(rho)/dt, lambda = c / f0.
  const double k = (-2.0 * f0_hz) / c_km_s;
  double rate2 = k * R3;
  double rate3 = R4 * k;
  if (derivative_switch == 9) {
    rate2 = 0.0;
    rate3 = 0.0;
  }
  doppler_out[doppler::centroid] = R1 * k;
  doppler_out[doppler::rate] = R2 * k;
  doppler_out[doppler::rate2] = rate2;
  doppler_out[doppler::rate3] = rate3;
  doppler_out[doppler::spare] = 0.0;
}

}  // namespace bperp
