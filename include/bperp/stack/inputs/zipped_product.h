// Products as archives deliver them: a Sentinel-1 SAFE product zipped
// (S1A_IW_SLC__1SDV_....zip, the SAFE folder at the archive's top or one
// folder down), read in place through the zip layer like the folder itself,
// and the orbit files a zip may hold (*.EOF members, *.EOF.zip).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/inputs/s1_annotation.h"
#include "bperp/stack/inputs/zip_archive.h"
#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// A product read from an archive: what it says, the member it was read
// from ("ZIP!member"), and a warning (a cross-polarisation taken) or "".
struct ZippedProduct {
  ProductInfo info;
  std::string member;
  std::string warning;
};

// The product archive holds: the one SAFE folder at its top or one folder
// down (the archive's debris, see zip_debris, left out), its annotation
// chosen among the files of its annotation/ folder as choose_annotation
// does for wish, read as read_s1_annotation reads a file. nullopt and
// *problem set, naming the archive and what it holds, when it holds no SAFE
// folder (unknown_format; an archive of orbit files says to give it as
// one), several (malformed), no annotation that fits or one that can't be
// read (malformed).
std::optional<ZippedProduct> zipped_product(ZipArchive& archive, const AnnotationWish& wish, Refusal* problem);

// The same for the archive in the file at path.
std::optional<ZippedProduct> read_zipped_product(const std::string& path, const AnnotationWish& wish,
                                                 Refusal* problem);

// The members of archive that are orbit files: names ending in .EOF (any
// case), the debris left out.
std::vector<std::size_t> zip_orbit_members(const ZipArchive& archive);

}  // namespace bperp::stack
