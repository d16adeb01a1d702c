// What a radar product tells about one acquisition: its mission and orbit,
// its radar, the timing and the slant ranges of its image, and the orbit the
// satellite flew, on UTC. Readers of the product formats (Sentinel-1
// annotation, orbit files, image parameter files, HDF5 products, the X- and
// C-band missions' metadata) fill it; the zero-Doppler geometry reads it.
//
// Frame: earth-fixed (the products' own, ITRF/WGS84 axes). Units: the orbit
// in km, km/s and s like every orbit of the tool; ranges in m, frequencies
// in Hz, times UTC.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
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

// The centre of the scene as a product states it, for products whose image
// carries no zero-Doppler times and slant ranges to place a target by
// (geocoded and ground-range ones): geodetic degrees on WGS84, or an
// earth-fixed point (m), which then wins.
struct SceneCentre {
  double latitude_deg = 0.0;
  double longitude_deg = 0.0;
  std::optional<std::array<double, 3>> earth_fixed_m;
};

// Whether latitude and longitude (degrees) can be a point's: latitude
// within -90..90, longitude within -360..360, both finite.
bool geodetic_degrees(double latitude_deg, double longitude_deg);

// One acquisition as a product describes it.
struct ProductInfo {
  std::string format;                   // "Sentinel-1 annotation", "image parameter file", ...
  std::string mission;                  // "S1A", "S1B", "S1C", ...; empty when not given
  std::optional<long> absolute_orbit;
  std::optional<long> track;            // the relative orbit, where the product states it
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
  // Burst IDs in OPERA's spelling ("t042_088905_iw1"): one per burst of
  // burst_times where the product gives them, or the one burst a burst
  // product (OPERA) is of, with no burst times. Empty otherwise.
  std::vector<std::string> burst_ids;
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
  // The default target of a product without image times and slant ranges.
  std::optional<SceneCentre> scene_centre;
  TimedOrbit orbit;
};

// The look side a product's text names: "right" or "left" in any case
// (blanks around it allowed); nullopt for anything else.
std::optional<LookSide> look_side_from_text(std::string_view text);

// The pass a product's text names, "ASCENDING" or "DESCENDING" (written in
// any case, or as "ASCEND", "DESCEND"); nullopt for anything else.
std::optional<std::string> pass_from_text(std::string_view text);

// When the product was acquired: its first line, else its orbit's epoch.
UtcTime acquisition_time(const ProductInfo& product);

// The relative orbit (track) of a Sentinel-1 absolute orbit: S1A
// (absolute - 73) mod 175 + 1, S1B (absolute - 27) mod 175 + 1; nullopt for
// other missions.
std::optional<long> sentinel1_relative_orbit(const std::string& mission, long absolute_orbit);

// The product's relative orbit: the one it states, else for Sentinel-1 the
// one of its absolute orbit; nullopt when neither is known.
std::optional<long> relative_orbit(const ProductInfo& product);

// The family of satellites whose relative orbits count alike: "Sentinel-1"
// for S1A, S1B, ...; "TerraSAR-X" for TSX-1 and TDX-1 (TanDEM-X flies in
// formation with TerraSAR-X, on its tracks); the mission itself otherwise.
std::string track_family(const std::string& mission);

// "S1A", "S1B", ...: a Sentinel-1 mission, whose orbit files the catalogue holds.
bool sentinel1_mission(const std::string& mission);

// A burst ID in OPERA's spelling: "t" and the track in three digits, the
// burst's number in six, the swath in lower case ("t042_088905_iw1").
std::string burst_id_text(long track, long burst, const std::string& swath);

// A burst ID's parts: "t042_088905_iw1" (any case) is track 42, burst 88905,
// swath "IW1". nullopt for a text of another form.
struct BurstId {
  long track = 0;
  long burst = 0;
  std::string swath;
};
std::optional<BurstId> parse_burst_id(std::string_view text);

// The burst ID of the burst of product that holds the zero-Doppler time t:
// of the bursts whose lines (their azimuth time to lines_per_burst - 1 line
// intervals later) hold t, the one whose middle lies closest; a burst
// product's one ID whatever t; "" when the product gives no IDs or no burst
// holds t.
std::string burst_id_at(const ProductInfo& product, UtcTime t);

// The middle of the burst of product with burst ID id (compared in lower
// case): its azimuth time + (lines_per_burst - 1) / 2 line intervals.
// nullopt when the product lists no such burst with times.
std::optional<UtcTime> burst_middle(const ProductInfo& product, const std::string& id);

}  // namespace bperp::stack
