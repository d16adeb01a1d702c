// TerraSAR-X and TanDEM-X level-1 products' main annotation (the
// <level1Product> XML beside the image data): the mission and orbit, the
// radar, the orbit the satellite flew and, for a slant-range product, the
// image's times and slant ranges; for the others (ground range, geocoded)
// the scene centre the product states.
//
// Frame: the state vectors' own, earth-fixed (ITRF). Units in the file: m,
// m/s, Hz, s (two-way range times), degrees; in ProductInfo: the orbit in
// km, km/s and s since its first vector, ranges in m, frequencies in Hz,
// times UTC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of the annotation, and the source of its orbit.
inline constexpr const char* tsx_annotation_format = "TerraSAR-X annotation";
inline constexpr const char* tsx_annotation_orbit_source = "annotation";

// The annotation file at path (at most max_xml_bytes) as a ProductInfo:
//  - productInfo/missionInfo: mission ("TSX-1", "TDX-1"), absOrbit,
//    relOrbit (the track), orbitDirection (the pass);
//  - productInfo/acquisitionInfo: lookDirection (RIGHT or LEFT), the first
//    polarisationList/polLayer;
//  - instrument/radarParameters/centerFrequency (Hz, positive; not the
//    first centerFrequency of the file: processing's reference chirp
//    carries one of 0);
//  - processing/processingParameter: rangeLookBandwidth and
//    azimuthLookBandwidth (Hz, positive);
//  - platform/orbit/stateVec: timeUTC (no zone), posX|Y|Z (m),
//    velX|Y|Z (m/s), as many as orbitHeader/numStateVectors says, at least
//    orbit_min_rows, in time order;
//  - where productVariantInfo/projection is SLANTRANGE: sceneInfo/start and
//    stop/timeUTC (the first and last lines; stop not before start) and
//    rangeTime/firstPixel and lastPixel (two-way s: near and far range
//    t c / 2); otherwise sceneInfo/sceneCenterCoord/lat and lon (degrees).
// nullopt and *problem set, starting with path and naming the element, for
// a file that cannot be loaded (see load_xml_file), another root than
// <level1Product>, a missing element, a malformed number or time, a value
// out of its range, vectors out of time order or other than
// numStateVectors says (malformed).
std::optional<ProductInfo> read_tsx_annotation(const std::string& path, Refusal* problem);

// The same for an annotation held in bytes, named name in the messages.
std::optional<ProductInfo> parse_tsx_annotation(std::string_view bytes, const std::string& name,
                                                std::string* problem);

}  // namespace bperp::stack
