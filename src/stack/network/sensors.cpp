#include "bperp/stack/network/sensors.h"

#include <cmath>

namespace bperp::stack {

namespace {

constexpr double MHz = 1e6, GHz = 1e9;

// The values a common time-series tool uses for these sensors. Sentinel-1
// IW: radar frequency, and the swaths' range and azimuth processing
// bandwidths as the track-108 annotations give them (tests/data). ERS,
// Envisat ASAR, ALOS PALSAR (fine beam), ALOS-2 PALSAR-2 (its four range
// bandwidths), NISAR (L-band 77 MHz mode; its azimuth bandwidth not given)
// and TerraSAR-X: the missions' published radar frequencies and chirp
// bandwidths and the processed azimuth bandwidths of those tools. NISAR's
// other L-band modes (40 and 20 MHz in its frequency A, 5 MHz in B) at the
// same centre frequency, which its products state themselves; SAOCOM's
// radar frequency alone (its products state no bandwidth, and its modes'
// differ).
constexpr SensorPreset presets[] = {
    {"s1-iw1", 5.405 * GHz, 56.5 * MHz, 327.0},
    {"s1-iw2", 5.405 * GHz, 48.3 * MHz, 313.0},
    {"s1-iw3", 5.405 * GHz, 42.79 * MHz, 314.0},
    {"ers", 5.300 * GHz, 15.55 * MHz, 1500.0},
    {"envisat", 5.331 * GHz, 16.0 * MHz, 1500.0},
    {"alos", 1.270 * GHz, 28.0 * MHz, 1700.0},
    {"alos2-84", 1.2575 * GHz, 84.0 * MHz, 1515.0},
    {"alos2-42", 1.2575 * GHz, 42.0 * MHz, 1515.0},
    {"alos2-28", 1.2575 * GHz, 28.0 * MHz, 1515.0},
    {"alos2-14", 1.2575 * GHz, 14.0 * MHz, 1515.0},
    {"nisar-77", 1.257 * GHz, 77.0 * MHz, NAN},
    {"nisar-40", 1.257 * GHz, 40.0 * MHz, NAN},
    {"nisar-20", 1.257 * GHz, 20.0 * MHz, NAN},
    {"nisar-5", 1.257 * GHz, 5.0 * MHz, NAN},
    {"saocom", 1.275 * GHz, NAN, NAN},
    {"tsx", 9.65 * GHz, 100.0 * MHz, 2770.0},
};

}  // namespace

std::optional<SensorPreset> sensor_preset(std::string_view name) {
  for (const SensorPreset& p : presets)
    if (name == p.name) return p;
  return std::nullopt;
}

std::string sensor_names() {
  std::string names;
  for (const SensorPreset& p : presets) names += (names.empty() ? "" : ", ") + std::string(p.name);
  return names;
}

}  // namespace bperp::stack
