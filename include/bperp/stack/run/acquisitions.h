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
#include "bperp/stack/support/warning.h"

namespace bperp::stack {

// A Sentinel-1 product's orbit list replaced by the orbit files' orbit for
// its mission and time, when orbit files are asked for (not null, not
// empty); their warnings, naming a, to warnings (orbit_file). A product no
// file covers keeps its own orbit, with a warning naming it and why
// (orbit_fallback), or with required is refused; one whose chosen file
// can't be read is refused. Nothing for a refused acquisition, one that is
// no product or of another mission.
void use_orbit_files(Acquisition& a, const OrbitCatalogue* orbits, bool required, std::vector<Warning>& warnings);

// The files already read, by device and inode, with the first name each
// was read under: the same file under another name is not read again.
class SeenFiles {
 public:
  // Notes a's file; false when it was seen before, with a warning naming
  // both names to warnings unless it was first seen as the reference
  // (named reference_name).
  bool first_time(const Acquisition& a, const std::string& reference_name,
                  std::vector<std::string>& warnings);

 private:
  std::map<std::pair<dev_t, ino_t>, std::string> names_;
};

}  // namespace bperp::stack
