// ICEYE products' XML metadata (the <Metadata> file beside the image): the
// satellite and orbit, the radar, the orbit the satellite flew (vectors a
// tenth of a second apart) and, for a slant-range product (SLC), the
// image's zero-Doppler times and slant ranges; for the others (GRD) the
// scene centre the product states.
//
// ICEYE's orbit_relative_number repeats its absolute number: it is no track,
// and secondaries of another track are caught by the velocity check.
//
// Frame: earth-fixed (WGS84). Units in the file: m, m/s, Hz, s; in
// ProductInfo: the orbit in km, km/s and s since its first vector, ranges in
// m, frequencies in Hz, times UTC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of the metadata, and the source of its orbit.
inline constexpr const char* iceye_metadata_format = "ICEYE metadata";
inline constexpr const char* iceye_metadata_orbit_source = "metadata";

// The metadata file at path (at most max_xml_bytes) as a ProductInfo:
//  - satellite_name (the mission), orbit_absolute_number, orbit_direction
//    (the pass), look_side, polarization;
//  - carrier_frequency and range_sampling_rate (Hz, positive);
//    range_look_bandwidth and azimuth_look_bandwidth (Hz, positive);
//  - Orbit_State_Vectors/orbit_vector: time, posX|Y|Z (m), velX|Y|Z (m/s),
//    as many as Orbit_State_Vectors/count says, at least orbit_min_rows,
//    in time order;
//  - where product_level is SLC: zerodoppler_start_utc and
//    zerodoppler_end_utc (the first and last lines), slant_range_to_first_pixel
//    (m) and number_of_range_samples (far range = near + (samples - 1)
//    c / (2 range_sampling_rate)); otherwise coord_center, "pixel line
//    latitude longitude" (degrees) in one element.
// nullopt and *problem set, starting with path and naming the element, for
// a file that cannot be loaded (see load_xml_file), a <Metadata> root
// without Orbit_State_Vectors (unknown_format), another root, a missing
// element, a malformed number or time, a value out of its range, vectors out
// of time order or other than count says (malformed).
std::optional<ProductInfo> read_iceye_metadata(const std::string& path, Refusal* problem);

// The same for metadata held in bytes, named name in the messages.
std::optional<ProductInfo> parse_iceye_metadata(std::string_view bytes, const std::string& name,
                                                std::string* problem);

}  // namespace bperp::stack
