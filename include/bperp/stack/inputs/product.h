// What a radar product tells about one acquisition: its mission and orbit,
// its radar, the timing and the slant ranges of its image, and the orbit the
// satellite flew, on UTC. Readers of the product formats (Sentinel-1
// annotation, orbit files, image parameter files, HDF5 products) fill it;
// the zero-Doppler geometry reads it.
//
// Frame: earth-fixed (the products' own, ITRF/WGS84 axes). Units: the orbit
// in km, km/s and s like every orbit of the tool; ranges in m, frequencies
// in Hz, times UTC.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/orbit_rows.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

enum class LookSide { right, left };

// An orbit on UTC: row times are seconds since epoch.
struct TimedOrbit {
  UtcTime epoch{};
  Orbit rows;  // t (s since epoch), km, km/s, earth-fixed
  // Where the vectors came from: "annotation", "parameter file", the HDF5
  // group, or an orbit file's name.
  std::string source;
};

// The product's image: first and last line times, line interval, near and
// far slant range. Every field is optional; a product gives what it has.
struct ImageTiming {
  std::optional<UtcTime> first_line;
  std::optional<UtcTime> last_line;
  std::optional<UtcTime> centre_line;         // when the product names one
  std::optional<double> line_interval_s;      // azimuth time between lines
  std::optional<double> near_range_m;         // slant range of the first sample
  std::optional<double> far_range_m;          // of the last sample
  std::optional<double> centre_range_m;       // when the product names one
  std::optional<double> range_pixel_spacing_m;
  std::optional<long> lines;
  std::optional<long> samples;
};

// A point on the ground that a product names: geodetic latitude and
// longitude on WGS84 (deg) and height above the ellipsoid (m).
struct GroundPoint {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  double height_m = 0.0;
};

// One acquisition as a product describes it.
struct ProductInfo {
  std::string format;                   // "Sentinel-1 annotation", "image parameter file", ...
  std::string mission;                  // "S1A", "S1B", "S1C", ...; empty when not given
  std::optional<long> absolute_orbit;
  std::optional<long> track;            // the track (relative orbit) the product states
  std::optional<long> frame;            // the frame the product states
  std::string product_type;             // "level 1.5 STANDARD GEOCODE", ...; empty when not given
  std::string pass;                     // "ASCENDING", "DESCENDING" or empty
  std::string swath;                    // "IW2", ...; empty when not given
  std::string polarisation;             // "VV", ...; empty when not given
  std::optional<double> radar_frequency_hz;
  std::optional<double> wavelength_m;   // when the product gives it rather than the frequency
  std::optional<double> range_sampling_rate_hz;
  std::optional<double> range_bandwidth_hz;    // range processing bandwidth
  std::optional<double> azimuth_bandwidth_hz;  // azimuth processing bandwidth
  LookSide look = LookSide::right;
  ImageTiming image;
  // Bursts (TOPS): their azimuth start times, lines and samples per burst.
  std::vector<UtcTime> burst_times;
  std::optional<long> lines_per_burst;
  std::optional<long> samples_per_burst;
  // The Doppler centroid as a polynomial in slant range r (m):
  // f = sum_k doppler_polynomial[k] (r - doppler_reference_range_m)^k, the
  // coefficients in Hz, Hz/m, Hz/m^2, ... Empty when the product gives none.
  std::vector<double> doppler_polynomial;
  std::optional<double> doppler_reference_range_m;
  // A geocoded product's grid: the EPSG code of its map projection (UTM or
  // UPS on WGS84) and the map coordinates (m) of its columns (easting) and
  // rows (northing). No code and empty lists for a product in radar geometry.
  std::optional<int> epsg;
  std::vector<double> grid_x, grid_y;
  // The scene centre a product states where its image gives no line times
  // and slant ranges (geocoded and ground-range products without a map
  // grid read): the default target.
  std::optional<GroundPoint> scene_centre;
  TimedOrbit orbit;
};

// When the product was acquired: its first line, else its centre line, else
// its orbit's epoch.
UtcTime acquisition_time(const ProductInfo& product);

// Whether the product's image gives the times of its first and last lines
// and its near and far slant ranges.
bool states_times_and_ranges(const ProductInfo& product);

// The product's track: the one it states, else a Sentinel-1 product's
// relative orbit (sentinel1_relative_orbit); nullopt for neither.
std::optional<long> product_track(const ProductInfo& product);

// The relative orbit (track) of a Sentinel-1 absolute orbit: S1A
// (absolute - 73) mod 175 + 1, S1B (absolute - 27) mod 175 + 1; nullopt for
// other missions.
std::optional<long> sentinel1_relative_orbit(const std::string& mission, long absolute_orbit);

}  // namespace bperp::stack
