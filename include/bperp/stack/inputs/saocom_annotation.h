// SAOCOM product annotation: the XML file beside each image of a SAOCOM-1A
// or -1B product, level 1A (slant range) to 1D (geocoded), root
// <SAOCOM_XMLProduct>. It gives the orbit, the radar and the look side, and
// either the image's line times and slant ranges or, for a product on a map
// or on the ground, the scene centre that serves as its default target.
//
// Frame: the orbit's own, earth-fixed. Units in the file: m, m/s, Hz, s
// (two-way slant range time), degrees; in ProductInfo: the orbit in km, km/s
// and s since its first vector, ranges in m, frequencies in Hz, times UTC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

// ProductInfo::format of a SAOCOM annotation; its orbit's source.
inline constexpr const char* saocom_annotation_format = "SAOCOM annotation";
inline constexpr const char* saocom_orbit_source = "annotation";

// The UTC time of a SAOCOM time stamp "DD-MON-YYYY HH:MM:SS[.f]" (the
// month's three letters in any case, up to 12 fraction digits, rounded to
// the nanosecond), its year within the years of products; nullopt and
// *problem set (without a path) otherwise.
std::optional<UtcTime> saocom_time(std::string_view text, std::string* problem = nullptr);

// The annotation file at path (at most max_xml_bytes) as a ProductInfo, from
// the first <Channel>:
//  - DataSetInfo: SensorName (the mission), fc_hz (radar frequency, Hz),
//    SideLooking (RIGHT or LEFT);
//  - SwathInfo: Swath and Polarization ("H/H" gives HH), where present;
//  - StateVectorData: OrbitDirection (ASCENDING or DESCENDING), Track and
//    OrbitNumber (integers, or NOT_AVAILABLE), nSV_n vectors (at least
//    orbit_min_rows) at t_ref_Utc + k dtSV_s (dtSV_s positive), positions
//    pSV_m and velocities vSV_mOs as flat x, y, z triples (3 nSV_n <val>
//    each, m and m/s, numbered N = 1, 2, ... where numbered);
//  - RasterInfo: for an image in slant range (LinesStart in unit Utc), the
//    first line time, the line interval LinesStep (s), Lines and Samples,
//    the near slant range from SamplesStart (two-way time, s) and the range
//    pixel spacing from SamplesStep (s); for any other image (a map grid or
//    ground range), the scene centre from GroundCornerPoints/Center/Point
//    (its first two values: latitude and longitude, degrees). The map grid
//    of ProjectionParameters is not read.
// nullopt and *problem set, starting with path, for a file that cannot be
// loaded (load_xml_file), another root, a missing element (named by its
// path), a number that is malformed or beyond its bound, a time that is no
// SAOCOM time stamp, counts of values that disagree with nSV_n, too few
// vectors. The refusal's kind: unreadable when the file can't be opened or
// read, malformed otherwise.
std::optional<ProductInfo> read_saocom_annotation(const std::string& path, Refusal* problem);

// The same for an annotation held in bytes, named name in the messages.
std::optional<ProductInfo> parse_saocom_annotation(std::string_view bytes, const std::string& name,
                                                   std::string* problem);

}  // namespace bperp::stack
