// Radar parameters of the common sensors, for stacks whose products do not
// give them (state vectors, orbit files): what --sensor NAME sets.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bperp::stack {

struct SensorPreset {
  const char* name;
  double frequency_hz;
  double range_bandwidth_hz;
  double azimuth_bandwidth_hz;  // NaN when not given
};

// The preset of name (as --sensor takes it), or nullopt.
std::optional<SensorPreset> sensor_preset(std::string_view name);

// The names, comma-separated, for messages and --help.
std::string sensor_names();

}  // namespace bperp::stack
