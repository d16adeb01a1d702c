// CEOS SAR leader files (LED-* of ALOS PALSAR and ALOS-2 PALSAR-2
// products; ERS, JERS-1 and RADARSAT-1 leaders share the layout): a
// sequence of records, each a 12-byte binary header (sequence number, four
// type codes, record length; big-endian) followed by fixed-width ASCII
// fields. The data set summary record (type code 10) gives the scene centre,
// its time, the look side and the wavelength; the platform position data
// record (type code 30) the orbit. No image file is read: the default target
// is the scene centre, at every processing level.
//
// Frame: earth-fixed (the record must say so). Units in the file: m, m/s, s
// of the day, degrees; in ProductInfo: the orbit in km, km/s and s since its
// first vector, the wavelength in m, times UTC.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/inputs/zip_archive.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of a leader; the source of its orbit.
inline constexpr const char* ceos_leader_format = "CEOS leader";
inline constexpr const char* ceos_orbit_source = "platform position record";

// The largest leader read (an ALOS-2 one holds 1.6 MB).
constexpr std::size_t max_ceos_bytes = std::size_t{64} << 20;

// The bytes of a record's binary header, and the type codes looked for.
constexpr std::size_t ceos_header_bytes = 12;
constexpr unsigned ceos_file_descriptor_code = 192;
constexpr unsigned ceos_summary_code = 10;
constexpr unsigned ceos_platform_code = 30;

// True when head, a file's first bytes (at least 20 of them), starts a CEOS
// file: a record numbered 1 whose second type code is the file descriptor's
// (192), of at least 20 bytes, whose text starts with "CEOS" at byte 16.
bool looks_like_ceos(std::string_view head);

// The leader at path (at most max_ceos_bytes) as a ProductInfo. The records
// are found by their second type code whatever their others; offsets count
// from the record's start. Data set summary: the scene centre time
// YYYYMMDDhhmmssttt at 68 (the centre line's time), latitude and longitude
// at 116 and 132 (F16.7, the scene centre: the default target), the mission
// (the first word at 412), the sensor clock angle at 476 (F8.3: +90 looks
// right, -90 left), the wavelength at 500 (F16.7, m), processing level at
// 1094 and product type at 1110 (the product type, blanks allowed), the pass
// at 1534 where it reads ASCEND or DESCEND. Platform position data: the
// number of points at 140, year, month, day and day of year at 144, 148,
// 152 and 156 (I4 each, blank- or zero-padded), the first point's seconds
// of the day at 160 and the interval at 182 (D22.15, E or D exponent), the
// frame at 204 (A64: ECR, EARTH CENTRED ROTATING or EARTH CENTERED
// ROTATING, in any case), then from 386 the points, six D22.15 each (x, y,
// z in m, vx, vy, vz in m/s). nullopt and *problem set, starting with path
// and naming the record and the field, for a file that can't be read, a
// record cut short or whose length runs past the file, a missing record, a
// field that lies past its record's end or is no number of its form, fewer
// than orbit_min_rows points (or more than the reader takes), another frame
// (named), a date that is no calendar date or disagrees with its day of
// year, a blank or other clock angle, a value beyond its bound. The
// refusal's kind: unreadable when the file can't be opened or read,
// malformed otherwise.
std::optional<ProductInfo> read_ceos_leader(const std::string& path, Refusal* problem);

// The same for a leader held in bytes, named name in the messages.
std::optional<ProductInfo> parse_ceos_leader(std::string_view bytes, const std::string& name, std::string* problem);

// The leader among the members of archive: its one member named LED-* at
// its top or one folder down (the archive's debris left out), read as
// parse_ceos_leader reads it, named ZIP!member (*member). nullopt without a
// refusal when the archive holds none; nullopt and *problem set, naming the
// archive, when it holds several (malformed) or the leader can't be read.
std::optional<ProductInfo> zipped_ceos_leader(ZipArchive& archive, std::string* member, Refusal* problem);

// The leader of the CEOS product folder dir: its one regular file named
// LED-*. "" when there is none; "" and *problem set (malformed, naming the
// folder) when there are several, or (unreadable) when the folder can't be
// listed.
std::string ceos_folder_leader(const std::string& dir, Refusal* problem);

}  // namespace bperp::stack
