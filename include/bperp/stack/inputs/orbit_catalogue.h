// The Sentinel-1 orbit files a user gives (--orbit FILE, --orbit-dir DIR),
// and the choice among them for each acquisition: processors use these
// precise (about 5 cm, some 20 days after acquisition) and restituted
// (about 10 cm, within hours) orbits rather than a product's own orbit list.
//
// Only the headers are read to choose; the orbit of the chosen file is read
// whole, and cut to the stretch an acquisition needs.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/stack/support/refusal.h"
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
  // Adds the orbit file at path (its header read now), or every orbit file
  // (*.EOF member) of the zip archive at path; false and *problem when it is
  // no readable orbit file, or a zip holding none. A file added so, named by
  // the user, that later cannot be read whole when it is chosen fails the
  // choice.
  bool add_file(const std::string& path, std::string* problem);
  // Adds every *.EOF file of dir and of its sub-folders two levels down
  // (links to folders not followed), and the *.EOF members of every *.zip
  // file there; false and *problem (raw text, to be escaped by whoever
  // shows it) only when dir cannot be listed or holds more than
  // max_zip_entries entries with its sub-folders. A file of it that is
  // refused (not a regular file, no orbit file's header, a zip that can't be
  // read) is skipped, with a warning naming it and the reason in *warnings
  // (when given), as is a sub-folder that can't be listed or lies deeper
  // than the two levels looked into; one that is chosen later and cannot
  // be read whole is skipped the same way, and the next file tried.
  bool add_directory(const std::string& dir, std::string* problem,
                     std::vector<std::string>* warnings = nullptr);

  // No orbit file asked for: neither add_file nor add_directory called. A
  // folder without a usable file still asks for orbit files: its
  // acquisitions are told that none covers them.
  bool empty() const { return !asked_; }
  std::size_t size() const { return files_.size(); }  // the files added
  // The paths of the files added (named or found in a folder), in the order added.
  std::vector<std::string> paths() const;

  // The orbit for mission ("S1A") over [first, last] widened by
  // orbit_margin: a precise file whose validity covers it (the newest such
  // that can be read), else the restituted files that together cover it
  // (merged: a vector given by several files once; where two files differ
  // at some of their common times, the newer file's vectors, with one
  // warning for the pair giving how many differ and by how much at most).
  // Predicted files are never chosen. nullopt and *problem, saying both the
  // span asked for and the spans the files of the mission cover (those that
  // were not used marked so, with why), when none does (outside_orbit),
  // or when a file added by add_file is chosen and cannot be read
  // (unreadable).
  std::optional<ChosenOrbit> choose(const std::string& mission, UtcTime first, UtcTime last,
                                    Refusal* problem) const;

 private:
  struct Entry {
    std::string path;
    std::string member;  // the orbit file's name in the zip at path; "" for a file
    std::string source;  // the orbit's source: the file's name, or "ZIP!member" of the zip's
    bool named = false;  // given by add_file, not found in a folder
    S1OrbitFile header;  // the orbit empty
  };
  // The files one choice could not read: the warnings of the folder's ones,
  // each with its reason for the list of spans, and the error of a named one.
  struct Reading {
    std::vector<std::string> skipped;
    std::vector<std::pair<const Entry*, std::string>> unreadable;
    std::string error;
  };
  // Restituted vectors merged by time: each one's state and the file it
  // came from; the files' warnings and those of their disagreements.
  struct MergedVector {
    StateVector state;
    std::string file;
  };
  struct Merged {
    std::map<UtcTime, MergedVector> vectors;
    std::vector<std::string> warnings;
  };
  bool add(const std::string& path, bool named, std::string* problem, std::vector<std::string>* warnings);
  bool add_zip(const std::string& path, bool named, std::string* problem, std::vector<std::string>* warnings);
  std::optional<ChosenOrbit> choose_precise(const std::string& mission, UtcTime from, UtcTime to,
                                            Reading& reading) const;
  Merged merge_restituted(const std::string& mission, UtcTime from, UtcTime to, Reading& reading) const;
  std::string uncovered_text(const std::string& mission, UtcTime from, UtcTime to, const Reading& reading) const;
  // The whole file of e (the vectors of window alone, when given); nullopt
  // with reading told why when it cannot be read.
  std::optional<S1OrbitFile> read_whole(const Entry& e, const OrbitWindow* window, Reading& reading) const;
  std::vector<Entry> files_;
  std::size_t skipped_ = 0;  // folder files refused when added
  bool asked_ = false;       // add_file or add_directory called
};

}  // namespace bperp::stack
