// RADARSAT Constellation Mission products' product.xml: the satellite, the
// radar, the orbit it flew and, for a slant-range product (SLC), the
// image's zero-Doppler times and slant ranges; for the others (ground range,
// geocoded) the scene centre, the middle of the geodetic coordinates of the
// image's corners (or, without map corners, of its tie points).
//
// RCM states no relative orbit: secondaries of another track are caught by
// the velocity check.
//
// Frame: earth-fixed. Units in the file: m, m/s, Hz, degrees; in
// ProductInfo: the orbit in km, km/s and s since its first vector, ranges in
// m, frequencies in Hz, times UTC.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// ProductInfo::format of the product file, and the source of its orbit.
inline constexpr const char* rcm_product_format = "RCM product";
inline constexpr const char* rcm_product_orbit_source = "product.xml";

// The product file at path (at most max_xml_bytes) as a ProductInfo:
//  - sourceAttributes: satellite (the mission, RCM-1..3), radarParameters/
//    radarCenterFrequency (Hz, positive), antennaPointing (the look side),
//    polarizations; orbitAndAttitude/orbitInformation: passDirection and the
//    stateVector list (timeStamp, x|y|zPosition in m, x|y|zVelocity in m/s;
//    at least orbit_min_rows, in time order);
//  - imageGenerationParameters/sarProcessingInformation:
//    totalProcessedRangeBandwidth and totalProcessedAzimuthBandwidth (Hz,
//    positive);
//  - where generalProcessingInformation/productType is SLC:
//    zeroDopplerTimeFirstLine and LastLine (the first and last lines: a
//    product whose lines run backwards in time has them in either order) and
//    sceneAttributes/imageAttributes/slantRangeNearEdge and FarEdge (m);
//    otherwise the scene centre: the mean latitude and longitude of
//    imageReferenceAttributes/geographicInformation/mapProjection/
//    positioningInformation's four corners, or of geolocationGrid's
//    imageTiePoint elements.
// nullopt and *problem set, starting with path and naming the element, for a
// file that cannot be loaded (see load_xml_file), a satellite that is no
// RCM (unknown_format), another root than <product>, a missing element, a
// malformed number or time, a value out of its range, vectors out of time
// order (malformed).
std::optional<ProductInfo> read_rcm_product(const std::string& path, Refusal* problem);

// The same for a product file held in bytes, named name in the messages.
std::optional<ProductInfo> parse_rcm_product(std::string_view bytes, const std::string& name,
                                             std::string* problem);

}  // namespace bperp::stack
