#include "bperp/earth/earth_model.h"

#include <cmath>

#include "bperp/numeric/scalar.h"

namespace bperp {

namespace {

struct EllipsoidRow {
  double a, b, dx, dy, dz, f;
};

// Bessel 1841 with its datum shift, GRS80 (WGS84 to 0.1 mm), and a rounded
// GRS80-like model.
constexpr EllipsoidRow kModels[] = {
    {6377.397155, 6356.07896283244, -0.14754, 0.50726, 0.68047, 0.0033427731799399794},
    {6378.137, 6356.752314140355, 0.0, 0.0, 0.0, 0.003352810681182319},
    {6378.14, 6356.755, 0.0, 0.0, 0.0, 0.0033528583568250645},
};
constexpr EllipsoidRow kNoModel = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};

}  // namespace

void earth_parameters(double* record, int model) {
  const EllipsoidRow& row = (model >= 0 && model <= 2) ? kModels[model] : kNoModel;
  record[ellipsoid::a] = row.a;
  record[ellipsoid::b] = row.b;
  record[ellipsoid::dx] = row.dx;
  record[ellipsoid::dy] = row.dy;
  record[ellipsoid::dz] = row.dz;
  record[ellipsoid::f] = row.f;
  record[ellipsoid::e] = std::sqrt(row.a * row.a - row.b * row.b) / row.a;
}

namespace {

// The semi-axes (km) and eccentricity of a model, and an earth-fixed
// position (km) taken relative to the model's centre.
struct ModelPosition {
  double a, b, e;
  double x, y, z;
};

ModelPosition model_position(double X, double Y, double Z, int model) {
  double model_record[ellipsoid::size];
  earth_parameters(model_record, model);
  return {model_record[ellipsoid::a],      model_record[ellipsoid::b],
          model_record[ellipsoid::e],      X - model_record[ellipsoid::dx],
          Y - model_record[ellipsoid::dy], Z - model_record[ellipsoid::dz]};
}

}  // namespace

void earth_r1(double X, double Y, double Z, double* record, int model) {
  const ModelPosition m = model_position(X, Y, Z, model);
  const double a = m.a, b = m.b, e = m.e, x = m.x, y = m.y, z = m.z;

  const double p2 = x * x + y * y;
  const double p = std::sqrt(p2);
  const double r = std::sqrt(p2 + z * z);

  // Geocentric latitude, once for the radius and once for the rest.
  const double psi1 = std::asin(z / r);
  const double psi = std::atan(z / p);

  // Meridian ellipse radius at geocentric latitude psi1: R = b / sqrt(1 - e^2 cos^2 psi1).
  const double cos_psi1 = std::cos(psi1);
  const double R = b / std::sqrt(1 - (e * e) * (cos_psi1 * cos_psi1));
  const double lambda = std::atan2(y, x);
  // On the surface tan(phi) = (a/b)^2 tan(psi).
  const double a_over_b = a / b;
  const double phi = std::atan(std::tan(psi) * (a_over_b * a_over_b));

  record[subpoint::radius] = R;
  record[subpoint::latitude] = phi;
  record[subpoint::longitude] = lambda;
  record[subpoint::x] = R * std::cos(psi) * std::cos(lambda);
  record[subpoint::y] = R * std::cos(psi) * std::sin(lambda);
  record[subpoint::z] = R * std::sin(psi);
}

int earth_r2(double X, double Y, double Z, double* record, int model) {
  const ModelPosition m = model_position(X, Y, Z, model);
  const double a = m.a, b = m.b, e = m.e, x = m.x, y = m.y, z = m.z;
  const double e2 = e * e;

  const double psi = std::atan(z / std::sqrt(x * x + y * y));
  const double lambda = std::atan2(y, x);
  const double clam = std::cos(lambda);
  const double slam = std::sin(lambda);
  const double a_over_b = a / b;
  double phi = std::atan(std::tan(psi) * (a_over_b * a_over_b));

  // In the equatorial plane the latitude is 0 and the height is taken as 0.
  if (z == 0.0 && (clam != 0.0 || slam != 0.0)) {
    record[geodetic::radius] = a;
    record[geodetic::latitude] = 0.0;
    record[geodetic::longitude] = lambda;
    record[geodetic::height] = 0.0;
    return 0;
  }

  const double sin_phi0 = std::sin(phi);
  // Distance from the centre minus the normal radius of curvature N(phi).
  double h = std::sqrt(x * x + y * y + z * z) - a / std::sqrt(1 - e2 * (sin_phi0 * sin_phi0));
  const double b2_over_a2 = b * b / a / a;

  double sphi = 0.0;
  int passes = 0;
  double delta = 0.0;
  do {
    ++passes;
    const double cphi = std::cos(phi);
    sphi = std::sin(phi);
    const double W2 = 1 - e2 * (sphi * sphi);
    const double N = a / std::sqrt(W2);
    // The trial point of (phi, lambda, h) and the residual to the position.
    const double xt = (N + h) * cphi * clam;
    const double yt = (N + h) * cphi * slam;
    const double zt = (N * b2_over_a2 + h) * sphi;
    const double dxr = x - xt;
    const double dyr = y - yt;
    const double dzr = z - zt;
    const double q = dxr * clam + dyr * slam;  // meridian-plane horizontal part
    // Latitude step: the residual along the meridian over (1 - e^2) a / W^2 + h.
    delta = (cphi * dzr - sphi * q) / ((1 - e2) * a / ipow(W2, 1) + h);
    h = h + cphi * q + sphi * dzr;  // the residual along the normal
    phi = phi + delta;
  } while (std::fabs(delta) > 1e-12 && passes < earth_r2_max_passes);

  record[geodetic::radius] = a * (1 - ((a - b) / a) * sphi * sphi);
  record[geodetic::latitude] = phi;
  record[geodetic::longitude] = lambda;
  record[geodetic::height] = h;
  return passes;
}

}  // namespace bperp
