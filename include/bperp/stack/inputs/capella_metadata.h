// Capella Space products' extended metadata (the *_extended.json beside the
// image): the satellite, the radar, the orbit it flew and, for an image in
// slant-plane geometry (stripmap, sliding spotlight), the image's line times
// and slant ranges; for the others (spotlight images formed by the polar
// format algorithm, geocoded ones) the scene centre, an earth-fixed point.
//
// Capella states no relative orbit: secondaries of another track are caught
// by the velocity check. Image lines may run a few ms past the last state
// vector: a target there lies outside the orbit and is refused, never
// extrapolated.
//
// Frame: earth-fixed (ECEF). Units in the file: m, m/s, Hz, s; in
// ProductInfo: the orbit in km, km/s and s since its first vector, ranges in
// m, frequencies in Hz, times UTC.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of the metadata, and the source of its orbit.
inline constexpr const char* capella_metadata_format = "Capella metadata";
inline constexpr const char* capella_metadata_orbit_source = "metadata";

// The largest metadata file read (a spotlight's is some 0.4 MB), and the
// deepest nesting of its objects and arrays.
constexpr std::size_t max_json_bytes = std::size_t{16} << 20;
constexpr std::size_t max_json_depth = 64;

// The most a parsed document may cost, as a multiple of its size (its bytes
// and json_value_bytes per value; a small document may take
// min_json_cost_bound whatever its size): a file at max_json_bytes takes at
// most 128 MiB. Capella's metadata holds a value per some 50 bytes (its cost
// about twice its size); denser JSON than a value per 8 bytes ("[[],[],...]"
// costs over 20 times its size) is refused before it is parsed.
constexpr std::size_t max_json_cost = 8;
constexpr std::size_t json_value_bytes = 64;
constexpr std::size_t min_json_cost_bound = std::size_t{1} << 20;

// True when head (the first bytes of a file) starts like a JSON document:
// after a UTF-8 byte-order mark and blanks, '{' or '['.
bool looks_like_json(std::string_view head);

// The metadata file at path (at most max_json_bytes) as a ProductInfo, from
// collect:
//  - platform (the mission), radar/center_frequency (Hz, positive),
//    radar/pointing (the look side), radar/transmit_polarization and
//    receive_polarization, state/direction (the pass);
//  - state/state_vectors: time (UTC), position and velocity ([x, y, z], m
//    and m/s; state/coordinate_system/type "ecef" when given), at least
//    orbit_min_rows, in time order;
//  - image/processed_range_bandwidth and processed_azimuth_bandwidth (Hz,
//    positive);
//  - where image/image_geometry/type is slant_plane: first_line_time,
//    delta_line_time (s, positive) and image/rows (the lines: last line time
//    = first + (rows - 1) delta), range_to_first_sample, delta_range_sample
//    (m, positive) and image/columns (far range = near + (columns - 1)
//    delta); otherwise image/center_pixel/target_position ([x, y, z], m,
//    earth-fixed), the scene centre.
// nullopt and *problem set, starting with path and naming the member
// ("collect.radar.center_frequency"), for a file that cannot be opened or
// read (unreadable), JSON without collect.state.state_vectors
// (unknown_format), JSON that is not well formed, nested deeper than
// max_json_depth or costing more than max_json_cost times its size, a
// missing member, one of another type, a value out of its
// range, vectors out of time order (malformed).
std::optional<ProductInfo> read_capella_metadata(const std::string& path, Refusal* problem);

// The same for metadata held in bytes, named name in the messages.
std::optional<ProductInfo> parse_capella_metadata(std::string_view bytes, const std::string& name,
                                                  Refusal* problem);

}  // namespace bperp::stack
