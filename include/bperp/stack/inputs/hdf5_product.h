// Products in HDF5 files (OPERA CSLC-S1 coregistered SLCs and others of
// that layout): the orbit of a group of datasets, the radar wavelength and
// a geocoded product's grid.
//
// hdf5_file and read_hdf5_product are built when the HDF5 C library is
// found; BPERP_HAVE_HDF5 is then 1. looks_like_hdf5 (inline) is there either
// way, so that a caller built without HDF5 can tell an HDF5 file it cannot
// read from one of another kind.
//
// Frame: the orbit's own, earth-fixed. Units in the file: s, m, m/s; in
// ProductInfo: the orbit in km, km/s and s since its first vector, the
// wavelength and the grid in m, times UTC.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"

namespace bperp::stack {

// ProductInfo::format of an HDF5 product; the orbit's source is its group.
inline constexpr const char* hdf5_product_format = "HDF5 product";
inline constexpr const char* hdf5_default_orbit_group = "/metadata/orbit";

// The signature an HDF5 file starts with (its superblock at offset 0).
inline constexpr std::string_view hdf5_signature{"\x89HDF\r\n\x1a\n", 8};

// True when head, the first bytes of a file, starts with the HDF5 signature.
// (A file with a user block before its superblock is not recognised.)
constexpr bool looks_like_hdf5(std::string_view head) { return head.starts_with(hdf5_signature); }

// True when the file at path is a regular file that starts with the HDF5
// signature; false when it cannot be opened or is anything else.
bool hdf5_file(const std::string& path);

// The most numbers read from one dataset: an orbit or a grid axis (real
// products hold some tens of orbit vectors and some 20,000 grid columns).
constexpr std::size_t max_hdf5_dataset_values = std::size_t{1} << 22;

// The product in the HDF5 file at path as a ProductInfo:
//  - the orbit of orbit_group: `time` (s since an epoch, 1-D), the epoch a
//    UTC text in the sibling `reference_epoch` (which wins when present) or
//    in the `units` attribute of `time` ("seconds since YYYY-MM-DD
//    HH:MM:SS[.f]"); positions and velocities (m, m/s) as position_x|y|z
//    and velocity_x|y|z beside `time`, or as one N x 3 dataset each
//    (`position`, `velocity`). At least orbit_min_rows vectors, strictly
//    increasing in time (to the nanosecond); the epoch is the first vector's
//    time, the rows in km and km/s. `orbit_direction`, when present, gives
//    the pass (ASCENDING or DESCENDING).
//  - the wavelength (m, positive) from
//    /metadata/processing_information/input_burst_metadata/wavelength when
//    present;
//  - a geocoded grid when /data/projection is present: its EPSG code (UTM
//    32601-32660, 32701-32760 or UPS 32661, 32761) with /data/x_coordinates
//    and /data/y_coordinates (1-D, m).
// Looking right. nullopt and *problem set, starting with path and naming
// the dataset or attribute, for a file that cannot be opened or is no HDF5
// file, a missing dataset, one of another shape or type (a 2-D time, text
// where numbers belong), lengths that disagree, more than
// max_hdf5_dataset_values values, an empty orbit or one of too few vectors,
// non-finite numbers, times out of order, an epoch that is no UTC time of
// 1970..2199, another time unit than seconds, an EPSG code of another
// projection.
std::optional<ProductInfo> read_hdf5_product(
    const std::string& path, std::string* problem,
    const std::string& orbit_group = hdf5_default_orbit_group);

}  // namespace bperp::stack
