// The Sentinel-1 orbit files a user gives (--orbit FILE, --orbit-dir DIR),
// and the choice among them for each acquisition: processors use these
// precise (about 5 cm, some 20 days after acquisition) and restituted
// (about 10 cm, within hours) orbits rather than a product's own orbit list.
//
// Only the headers are read to choose; the orbit of the chosen file is read
// whole, and cut to the stretch an acquisition needs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

// How far beyond an acquisition's time span an orbit must reach, s: the
// interpolation takes three rows on either side, 30 s at the 10 s of these
// files, and the zero-Doppler time of a target may lie some seconds beyond
// the image's lines; twice that.
constexpr double orbit_margin = 60.0;

// The orbit given to one acquisition: the rows (cut to its span and the
// margin, on an epoch of their own), the file names it came from, and
// what to tell the user about it.
struct ChosenOrbit {
  TimedOrbit orbit;                   // source: the file's name (or names, for merged ones)
  std::vector<std::string> warnings;  // quality, conflicts between restituted files
};

class OrbitCatalogue {
 public:
  // Adds the orbit file at path (its header read now); false and *problem
  // when it is no readable orbit file.
  bool add_file(const std::string& path, std::string* problem);
  // Adds every *.EOF file of dir; false and *problem when dir cannot be
  // listed or one of its files is refused.
  bool add_directory(const std::string& dir, std::string* problem);

  bool empty() const { return files_.empty(); }
  std::size_t size() const { return files_.size(); }

  // The orbit for mission ("S1A") over [first, last] widened by
  // orbit_margin: a precise file whose validity covers it (the newest such),
  // else the restituted files that together cover it (merged: a vector
  // given by several files once; where they differ at one time, the newer
  // file's, with a warning). nullopt and *problem, saying both the span
  // asked for and the spans the files of the mission cover, when none does,
  // or when a chosen file cannot be read.
  std::optional<ChosenOrbit> choose(const std::string& mission, UtcTime first, UtcTime last,
                                    std::string* problem) const;

 private:
  struct Entry {
    std::string path;
    S1OrbitFile header;  // the orbit empty
  };
  std::vector<Entry> files_;
};

}  // namespace bperp::stack
