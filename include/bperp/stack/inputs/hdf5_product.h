// Products in HDF5 files: OPERA CSLC-S1 coregistered SLCs and others of
// that layout (the orbit of a group of datasets, the radar wavelength and a
// geocoded product's grid), and NISAR's L-band products (RSLC, GSLC and
// the early SLC layout: the orbit, the radar of one frequency band, the
// image's zero-Doppler times and slant ranges or its map grid, and the
// identification), told apart by their groups. The file is read by the HDF5 reader process
// (stack/hdf5), never in this one; what it answers is checked here, value
// by value, as any product's. BPERP_HAVE_HDF5 is 1 when the build made the
// reader (the HDF5 C library was found); without it an HDF5 file is still
// told apart from files of other kinds.
//
// Frame: the orbit's own, earth-fixed. Units in the file: s, m, m/s; in
// ProductInfo: the orbit in km, km/s and s since its first vector, the
// wavelength and the grid in m, times UTC.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>
#include <unistd.h>

#include "bperp/stack/hdf5/hdf5_reply.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of an HDF5 product; the orbit's source is its group.
inline constexpr const char* hdf5_product_format = "HDF5 product";
inline constexpr const char* hdf5_default_orbit_group = "/metadata/orbit";

// A NISAR product's layout: its group under /science/LSAR (RSLC, GSLC, and
// SLC of the early simulated products), and the start of its
// ProductInfo::format ("NISAR RSLC", ...).
enum class NisarLayout { rslc, gslc, slc };
inline constexpr const char* nisar_format_prefix = "NISAR ";

// The signature an HDF5 file's superblock starts with.
inline constexpr std::string_view hdf5_signature{"\x89HDF\r\n\x1a\n", 8};

// The smallest user block (bytes) a file may hold before its superblock;
// each larger one is twice the next smaller (512, 1024, 2048, ...), and the
// HDF5 library looks for the superblock at offset 0 and at each of them.
inline constexpr off_t hdf5_smallest_user_block = 512;

// True when head, the first bytes of a file, starts with the HDF5 signature.
constexpr bool looks_like_hdf5(std::string_view head) { return head.starts_with(hdf5_signature); }

// True when head, the first bytes of a file, holds the HDF5 signature at
// offset 0 or after a user block that ends within it.
constexpr bool hdf5_signature_in_head(std::string_view head) {
  for (std::size_t at = 0; at + hdf5_signature.size() <= head.size();
       at = at == 0 ? static_cast<std::size_t>(hdf5_smallest_user_block) : 2 * at)
    if (looks_like_hdf5(head.substr(at))) return true;
  return false;
}

// True when the open file fd holds the HDF5 signature at offset 0 or after
// a user block (at 512 * 2^k bytes), where the HDF5 library finds it; read
// with pread, fd's position stays. False for a file without it, and for fd
// that cannot be read at an offset (a pipe).
inline bool hdf5_signature_in_file(int fd) {
  char head[hdf5_signature.size()];
  for (off_t at = 0;; at = at == 0 ? hdf5_smallest_user_block : 2 * at) {
    const ssize_t n = ::pread(fd, head, sizeof head, at);
    if (n != static_cast<ssize_t>(sizeof head)) return false;  // past the end, or unreadable
    if (looks_like_hdf5(std::string_view(head, sizeof head))) return true;
    if (at > std::numeric_limits<off_t>::max() / 2) return false;
  }
}

// True when the file at path is a regular file with the HDF5 signature at
// its start or after a user block; false when it cannot be opened or is
// anything else.
bool hdf5_file(const std::string& path);

// The product in the HDF5 file at path as a ProductInfo. A file with a
// group /science/LSAR/RSLC, GSLC or SLC (looked for in that order) is a
// NISAR product of that layout (below); any other is read as OPERA's:
//  - the orbit of orbit_group ("": /metadata/orbit): `time` (s since an
//    epoch, 1-D), the epoch a
//    UTC text in the sibling `reference_epoch` (which wins when present) or
//    in the `units` attribute of `time` ("seconds since YYYY-MM-DD
//    HH:MM:SS[.f]"); positions and velocities (m, m/s) as position_x|y|z
//    and velocity_x|y|z beside `time`, or as one N x 3 dataset each
//    (`position`, `velocity`). At least orbit_min_rows vectors, strictly
//    increasing in time (to the nanosecond); the epoch is the first vector's
//    time, the rows in km and km/s. `orbit_direction`, when present, gives
//    the pass (ASCENDING or DESCENDING).
//  - the wavelength (m, a SAR's: product_bounds.h) from
//    /metadata/processing_information/input_burst_metadata/wavelength when
//    present;
//  - a geocoded grid when /data/projection is present: its EPSG code (UTM
//    32601-32660, 32701-32760 or UPS 32661, 32761) with /data/x_coordinates
//    and /data/y_coordinates (1-D, m, inside the projection's valid area);
//  - where /identification is there (OPERA), each of its datasets that is
//    present: mission_id (the mission, upper case: letters, digits, '-'),
//    track_number (the track, 1 to 999), burst_id (the product's one burst
//    ID in OPERA's spelling, lower case), look_direction (Right or Left)
//    and orbit_pass_direction (the pass).
// Looking right unless /identification says otherwise.
// A NISAR product <P> (/science/LSAR/<layout>) of the frequency band
// ("A" or "B"): the orbit as above from orbit_group ("": <P>/metadata/orbit,
// its position and velocity N x 3); the band's group <F>
// (<P>/swaths/frequency<band>, a GSLC's <P>/grids/frequency<band>) must be
// there; from it the radar frequency (processedCenterFrequency, a GSLC's
// centerFrequency, Hz) and the bandwidths (processedRangeBandwidth,
// processedAzimuthBandwidth) where stated; the image's first and last line
// times from <P>/swaths/zeroDopplerTime (s since the epoch of its units
// attribute) and near and far slant ranges from <F>/slantRange (m), both
// strictly increasing; a GSLC's grid from <F>/projection, xCoordinates and
// yCoordinates as OPERA's; from /science/LSAR/identification the look side
// (lookDirection, right or left in any case, required), the pass
// (orbitPassDirection, ascending or descending in any case, ASCEND and
// DESCEND too; a number there is a heading, no pass), track, frame and
// absolute orbit (trackNumber, frameNumber, absoluteOrbitNumber: whole
// numbers, 0 for none), and the mission (missionId where it is a name, else
// the file's root attribute mission_name). Texts may be NUL-padded; numbers
// where texts stand are read as their decimal text.
// nullopt and *problem set, starting with path and naming
// the dataset or attribute, for a file that cannot be opened or is no HDF5
// file, a missing dataset, one of another shape or type (a 2-D time, text
// where numbers belong), lengths that disagree, more than the reader takes
// (max_orbit_rows vectors, max_hdf5_values grid columns or rows), an empty
// orbit or one of too few vectors, non-finite numbers, times out of order
// or outside the years of products (utc_time.h), an epoch that is no UTC
// time, another time unit than seconds, an EPSG code of another projection,
// a value beyond its bound (product_bounds.h), and whatever the HDF5 reader
// refuses or dies of (an external link, a crash of the HDF5 library, its
// memory bound reached, ...).
// The refusal's kind: unreadable when the file can't be opened or is no
// regular file, or the HDF5 reader cannot be started; unknown_format when
// it is no HDF5 file; malformed otherwise.
std::optional<ProductInfo> read_hdf5_product(const std::string& path, Refusal* problem,
                                             const std::string& orbit_group = "", const std::string& band = "A");

// How the items of a request are read from a product (by the reader
// process in read_hdf5_product): false and *refusal set (without the
// file's name) when they can't be.
using Hdf5ItemReader = std::function<bool(const Hdf5Request& request, Hdf5Reply& reply, Refusal* refusal)>;

// The product whose items read gives, the requests made as
// read_hdf5_product makes them; its refusals without a file's name.
std::optional<ProductInfo> hdf5_product_of(const Hdf5ItemReader& read, Refusal* problem,
                                           const std::string& orbit_group = "", const std::string& band = "A");

// The product of the HDF5 reader's reply bytes to the request
// read_hdf5_product makes for orbit_group: as read_hdf5_product, without
// the file's name in the refusal (malformed), and a reply that is no such
// reply refused too.
std::optional<ProductInfo> product_from_reply(std::string_view bytes, const std::string& orbit_group,
                                              Refusal* problem);

// The same for the reply to the request read_hdf5_product makes of a NISAR
// product of layout, orbit_group ("" for its own) and band.
std::optional<ProductInfo> nisar_product_from_reply(std::string_view bytes, NisarLayout layout,
                                                    const std::string& orbit_group, const std::string& band,
                                                    Refusal* problem);

}  // namespace bperp::stack
