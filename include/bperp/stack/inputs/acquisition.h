// The files of a stack, the reference and each secondary, told apart by
// their content: a state vector in bperp's format, an orbit of rows
// t X Y Z VX VY VZ (with the acquisition date a header may start with), or a
// radar product (a Sentinel-1 annotation or .SAFE folder, an image
// parameter file, an HDF5 product) with its orbit, times and ranges.
#pragma once

#include <cstdint>
#include <utility>

#include <sys/types.h>
#include <optional>
#include <string>
#include <vector>

#include "bperp/io/state_vector_file.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/refusal.h"
#include "bperp/stack/inputs/orbit_rows.h"
#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/utc_time.h"
#include "bperp/stack/support/warning.h"

namespace bperp::stack {

// Bounds of an orbit file: rows, and bytes after the header line.
constexpr std::size_t max_orbit_rows = 100000;
constexpr std::size_t max_orbit_bytes = std::size_t{64} << 20;

enum class AcquisitionKind {
  state_vector,  // six numbers: one state vector, no time
  orbit,         // rows t X Y Z VX VY VZ; on UTC when the header gives a date
  product,       // a radar product (Sentinel-1 annotation, ...): orbit, times, ranges
};

// How files are read: the swath and polarisation of a SAFE product (""
// for its middle swath and its first co-polarisation) and the orbit group
// of HDF5 products.
struct ReadOptions {
  std::string swath;
  std::string polarisation;
  std::string hdf5_orbit;  // the orbit group of an HDF5 product ("": /metadata/orbit)
};

// One file of the stack as read. With a refusal the file cannot be used,
// and the refusal says why in one line, naming the file.
struct Acquisition {
  std::string path;         // as given
  std::string name;         // the path escaped, as every output shows it (support/escape.h)
  AcquisitionKind kind = AcquisitionKind::state_vector;
  std::optional<long> day;  // days since 1970-01-01, when the header starts with a date
  StateVector state;        // the state vector (kind state_vector)
  Orbit orbit;              // the rows (kinds orbit and product)
  std::vector<std::uint32_t> row_lines;  // the file's line of each row, when rows are lines
  std::optional<UtcTime> epoch;          // UTC of the orbit's t = 0, when known
  std::optional<ProductInfo> product;    // what a product says (kind product)
  std::string read_from;                 // the file read, when not path (a SAFE product's annotation, "ZIP!member")
  std::optional<std::pair<dev_t, ino_t>> identity;  // the file's device and inode, once opened
  std::optional<Refusal> refusal;
  std::optional<Warning> warning;  // something to tell the user that does not make the file unusable
};

// The years a header date may have: from the first civil SAR satellite
// (Seasat, 1978) to 2100. A date outside them is a typing slip or a
// placeholder (0000-01-01), not an acquisition.
constexpr int first_sar_year = 1978;
constexpr int last_header_year = 2100;

// The acquisition day of a header that starts with YYYY-MM-DD (after a
// UTF-8 byte-order mark, if any): nullopt when it does not; an invalid date
// (2007-02-30) sets *problem and gives nullopt; a date outside
// first_sar_year .. last_header_year sets *warning and gives nullopt.
std::optional<long> header_date(const std::string& header_prefix, std::string* problem,
                                std::string* warning = nullptr);

// A file of the stack, recognised by its content: a Sentinel-1 annotation
// (XML with root <product>), a SAFE product as a folder, its manifest.safe
// or a zip (its annotation of options' swath and polarisation), an image
// parameter file, an HDF5 product, a TerraSAR-X, ICEYE or RCM annotation
// (XML), Capella metadata (JSON), or a text file of numbers: six numbers
// make a state vector, 7k numbers (k >= 4) an orbit (on UTC when the header
// gives a date: t is then seconds since 00:00 UTC of that day); any other
// count, text where a number stands, or orbit times that do not increase
// make the error. A Sentinel-1 orbit file (<Earth_Explorer_File>, or a zip
// of them) is refused: it is given with --orbit. Binary data, XML, JSON and
// zips of no kind read, and key: value text are refused saying what they
// look like and which kinds are read (unknown_format).
Acquisition read_secondary(const std::string& path, const ReadOptions& options = {});

// The reference: as read_secondary, but an orbit file without a date in its
// header cannot serve (it has no time to place a target at, and its first
// row is no state vector).
Acquisition read_reference(const std::string& path, const ReadOptions& options = {});

// "state-vector", "orbit", or the product's short kind ("s1-annotation",
// "parameters", "hdf5", "tsx-annotation", "iceye-metadata", "rcm-product",
// "capella-metadata").
std::string kind_text(const Acquisition& acquisition);

// "YYYY-MM-DD" of a day number, or "" for none.
std::string day_text(const std::optional<long>& day);

}  // namespace bperp::stack
