// The files of a stack read for a run: each secondary once (a file named
// twice, or the reference named again, is used once), each product given
// the orbit of the orbit files where those are given.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/orbit_catalogue.h"

namespace bperp::stack {

// A Sentinel-1 product's orbit list replaced by the orbit files' orbit for
// its mission and time, when orbit files are asked for (not null, not
// empty); their warnings, naming a, to warnings. A product no file covers
// keeps its own orbit, with a warning naming it and why, or with required
// is refused; one whose chosen file can't be read is refused. Nothing for a
// refused acquisition, one that is no product or of another mission.
void use_orbit_files(Acquisition& a, const OrbitCatalogue* orbits, bool required, std::vector<std::string>& warnings);

// The files already read, by device and inode, with the first name each
// was read under: the same file under another name is not read again.
class SeenFiles {
 public:
  // Notes a's file; false, and a warning naming both names to warnings,
  // when it was seen before (reference_name marks the reference's).
  bool first_time(const Acquisition& a, const std::string& reference_name,
                  std::vector<std::string>& warnings);

 private:
  std::map<std::pair<dev_t, ino_t>, std::string> names_;
};

// Warnings for acquisitions of one date (rarely two passes): each usable
// secondary dated as the reference or an earlier secondary is named with
// the first of that date.
std::vector<std::string> same_date_warnings(const Acquisition& reference,
                                            const std::vector<const Acquisition*>& secondaries);

}  // namespace bperp::stack
