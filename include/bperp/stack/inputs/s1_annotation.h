// Sentinel-1 product annotation (annotation/s1?-<swath>-slc-<pol>-....xml
// in a SAFE product folder; IW, EW and SM): the mission, orbit and swath,
// the radar, the image timing and slant ranges, the bursts and the orbit
// list of one swath and polarisation.
//
// Frame: the orbit list's own, earth-fixed. Units in the file: m, m/s, Hz,
// s (two-way slant range time); in ProductInfo: the orbit in km, km/s and s
// since its first vector, ranges in m, frequencies in Hz, times UTC.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of an annotation, and the source of its orbit.
inline constexpr const char* s1_annotation_format = "Sentinel-1 annotation";
inline constexpr const char* s1_annotation_orbit_source = "annotation";

// The annotation file at path (at most max_xml_bytes) as a ProductInfo:
// mission, absolute orbit, swath and polarisation from adsHeader; pass
// (upper case), radar frequency and range sampling rate from
// generalAnnotation/productInformation; the orbit list (epoch its first
// vector's time, at least orbit_min_rows vectors, strictly increasing,
// "Earth Fixed" when a frame is named); first and last line times, line
// interval, lines and samples from imageAnnotation/imageInformation, with
// near range = slantRangeTime c / 2, range pixel spacing c / (2 fs) and far
// range = near + (samples - 1) spacing; the range and azimuth processing
// bandwidths of the first swathProcParams; lines and samples per burst (when
// not 0), every burst's azimuth time from swathTiming and, where the bursts
// carry a burstId (at least 1), their burst IDs with the product's track
// and swath; looking right.
// nullopt and *problem set, starting with path, for a file that cannot be
// loaded (see load_xml_file), another root than <product>, a missing
// element (named by its path), a number that is malformed, not finite or
// out of its range (frequencies, rates, intervals, counts must be positive),
// a text that is no UTC time, too few orbit vectors, vectors or bursts out of
// time order or repeated, a count attribute that disagrees with its list.
// The refusal's kind: unreadable when the file can't be opened or read,
// malformed otherwise.
std::optional<ProductInfo> read_s1_annotation(const std::string& path, Refusal* problem);

// The same for an annotation held in bytes, named name in the messages.
// The parts of the annotation never read (its antenna pattern, geolocation
// grid, ...) are cut out before it is parsed unless cut_unread is false
// (the same product, or the same refusal, either way).
std::optional<ProductInfo> parse_s1_annotation(std::string_view bytes, const std::string& name,
                                               std::string* problem, bool cut_unread = true);

// Which annotation of a SAFE product to read: the swath ("IW1", "ew3",
// "s2", in any case; "" for the middle one of the swaths present: iw2 of
// iw1..iw3, ew3 of ew1..ew5, the lower of two, the only one of a strip-map
// product) and the polarisation ("VH", in any case; "" for the first
// co-polarisation present, VV, else HH).
struct AnnotationWish {
  std::string swath;
  std::string polarisation;
};

// The annotation to read among the files of a SAFE product's annotation
// folder (names: the files' names; where: the folder, for messages): the
// one whose name is s1?-<swath>-slc-<polarisation>-....xml for wish. A
// product without a co-polarised annotation of the swath and no
// polarisation asked for gives its first cross-polarised one (in the order
// of their names) and *warning says so. "" and *problem set (malformed),
// naming the folder and its files, when no name is an annotation, none is
// of the swath or polarisation asked for, or several fit.
std::string choose_annotation(const std::vector<std::string>& names, const AnnotationWish& wish,
                              const std::string& where, Refusal* problem, std::string* warning);

// The annotation file of the SAFE product folder safe_dir: the path of the
// file that choose_annotation takes among the regular files of
// safe_dir/annotation (not its calibration/ or rfi/ folders). "" and
// *problem set when the folder cannot be listed (unreadable), holds more
// than max_zip_entries entries or choose_annotation finds none (malformed).
std::string safe_annotation(const std::string& safe_dir, const AnnotationWish& wish, Refusal* problem,
                            std::string* warning = nullptr);

}  // namespace bperp::stack
