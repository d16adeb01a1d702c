// Image parameter files of an interferometric SAR processor (`*_slc.par` of
// a single-look complex image, `*_mli.par` of a multilooked one): lines of
// `key: value [unit]` after a title line that names the processor. The
// date, the image timing (seconds of that day, UTC) and slant ranges, the
// radar, the look side, the Doppler centroid and the orbit (state vectors at
// a fixed interval) of one image.
//
// Frame: earth-fixed, as the file's state vectors. Units in the file: m,
// m/s, Hz, s, degrees; in ProductInfo: the orbit in km, km/s and s since its
// first vector, ranges in m, frequencies in Hz, times UTC.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of a parameter file, and the source of its orbit.
inline constexpr const char* image_parameters_format = "image parameter file";
inline constexpr const char* image_parameters_orbit_source = "parameter file";

// The largest parameter file read (a real one holds some 4 KB).
constexpr std::size_t max_image_parameter_bytes = std::size_t{1} << 20;

// Bytes at the start of a file that tell whether it is a parameter file (the
// title line and the keys date: and number_of_state_vectors: come within
// the first 3 KB of a real one).
constexpr std::size_t image_parameters_sniff_bytes = 4096;

// True when head (the first bytes of a file, any number of them) is the
// start of a parameter file: its first line begins with the processor's
// title "Gamma Interferometric SAR Processor", or, for a file without the
// title, head holds a line beginning with "date:" and one beginning with
// "number_of_state_vectors:". False for anything else, an empty head
// included.
bool looks_like_image_parameters(std::string_view head);

// looks_like_image_parameters of the first image_parameters_sniff_bytes of
// the file at path; false when it cannot be opened or is no regular file.
bool image_parameters_file(const std::string& path);

// The parameter file held in bytes, named name in the messages, as a
// ProductInfo:
//  - date (year month day) and start_time, center_time, end_time (s of
//    that day; end not before start, centre between them): the first,
//    centre and last line times; azimuth_line_time (s, positive) the line
//    interval; azimuth_lines and range_samples (whole, positive);
//  - near_range_slc, center_range_slc, far_range_slc (m, positive, in that
//    order) and range_pixel_spacing (m, positive);
//  - radar_frequency (Hz, positive); adc_sampling_rate, chirp_bandwidth and
//    azimuth_proc_bandwidth (Hz) when given and not 0, as the range sampling
//    rate and the range and azimuth bandwidths;
//  - azimuth_angle (degrees): 90 looks right, -90 or 270 left;
//  - doppler_polynomial when given: four coefficients (Hz, Hz/m, Hz/m^2,
//    Hz/m^3) of the slant range minus center_range_slc, which becomes the
//    reference range (the files name no reference; about the centre range
//    the coefficients of real files give Doppler centroids of some tens of
//    Hz across the swath, as a zero-Doppler product has, while about zero
//    range they would give hundreds of Hz beyond the PRF);
//  - sensor, when it reads "S1x <mode> <swath> <polarisation>": the mission,
//    swath and polarisation;
//  - number_of_state_vectors (at least orbit_min_rows),
//    time_of_first_state_vector (s of the day), state_vector_interval (s,
//    positive) and state_vector_position_N, state_vector_velocity_N for N =
//    1..count (m, m/s): the orbit, its epoch date + time of the first
//    vector, row k at k intervals, in km and km/s.
// A unit written after the numbers must be the one named here. Keys not
// named here are ignored. nullopt and *problem set, starting with name, for
// no bytes or more than max_image_parameter_bytes, a missing key, a key
// given twice, a value that is no finite decimal number or whole number, too
// few or too many numbers, another unit, a date that is no calendar date or
// outside 1970..2199, a value out of its range, an azimuth angle of another
// look, state vectors that number_of_state_vectors does not count.
std::optional<ProductInfo> parse_image_parameters(std::string_view bytes, const std::string& name,
                                                  std::string* problem);

// The same for the regular file at path, of at most max_image_parameter_bytes
// (judged by its size before a byte is read); the messages start with path
// and also say when the file cannot be opened, is no regular file or can't
// be read (unreadable) or is too large (malformed, as every refusal of its
// content).
std::optional<ProductInfo> read_image_parameters(const std::string& path, Refusal* problem);

}  // namespace bperp::stack
