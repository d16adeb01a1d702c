// Sentinel-1 precise and restituted orbit files (*_AUX_POEORB_*.EOF,
// *_AUX_RESORB_*.EOF): the header's file name, mission, type, validity and
// creation time, and the list of orbit state vectors.
//
// Frame: earth-fixed, as the files give it. Units in the file: m and m/s
// (each number says so in a unit attribute), UTC times as "UTC=..."; in
// S1OrbitFile: the orbit in km, km/s and s since its first vector.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

// The text of a vector's Quality when the vector is good.
inline constexpr const char* s1_nominal_quality = "NOMINAL";

// One orbit file as read.
struct S1OrbitFile {
  std::string file_name;  // Fixed_Header/File_Name, as written there
  std::string mission;    // "S1A" for "Sentinel-1A"
  std::string file_type;  // "AUX_POEORB", "AUX_RESORB", "AUX_PREORB"
  UtcTime validity_start{};
  UtcTime validity_stop{};
  UtcTime creation{};
  TimedOrbit orbit;  // epoch the first vector's UTC; source the file's base name
  // One line per run of consecutive vectors whose Quality is not NOMINAL,
  // with their number, first and last time.
  std::vector<std::string> warnings;
};

// The orbit file at path (at most max_xml_bytes). The header gives
// file_name, the mission ("Sentinel-1X" -> "S1X"), the file type, the
// validity period (start not after stop) and the creation date, each time
// "UTC=YYYY-MM-DDTHH:MM:SS[.f]"; Data_Block/List_of_OSVs, whose count
// attribute must equal its number of OSV elements, gives at least
// orbit_min_rows vectors (UTC, X Y Z with unit="m", VX VY VZ with
// unit="m/s", Quality) in strictly increasing time, read in one pass.
// nullopt and *problem set, starting with path, for a file that cannot be
// loaded (see load_xml_file), another root than <Earth_Explorer_File>, a
// missing element (named by its path), a number that is malformed or not
// finite, another unit, an unknown mission or file type, a text that is no
// UTC time, vectors out of time order or repeated, a wrong count.
// With a window, only the vectors of its span are read into the orbit (the
// others are checked for their time order only): of a day's 9,400 vectors
// an acquisition needs some twenty.
struct OrbitWindow {
  UtcTime from{}, to{};
};
std::optional<S1OrbitFile> read_s1_orbit_file(const std::string& path, std::string* problem,
                                              const OrbitWindow* window = nullptr);

// The header of the orbit file at path alone (the fields above but the
// orbit, which is left empty), from its first orbit_header_bytes: what
// choosing among hundreds of orbit files needs, at the cost of a few KB each.
// Opened without blocking: nullopt and *problem, starting with path, at
// once for a path that is no regular file (a named pipe, a folder) or
// cannot be opened, and for a header that does not end within those bytes.
constexpr std::size_t orbit_header_bytes = 16384;
std::optional<S1OrbitFile> read_s1_orbit_file_header(const std::string& path, std::string* problem);

// The header alone of an orbit file whose first bytes (at least up to the
// end of its header, within orbit_header_bytes) are held in bytes, named
// name in the messages.
std::optional<S1OrbitFile> parse_s1_orbit_file_header(std::string_view bytes, const std::string& name,
                                                      std::string* problem);

// The same for an orbit file held in bytes, named name in the messages (and
// its base name the orbit's source).
std::optional<S1OrbitFile> parse_s1_orbit_file(std::string_view bytes, const std::string& name,
                                               std::string* problem, const OrbitWindow* window = nullptr);

}  // namespace bperp::stack
