#include "bperp/stack/inputs/s1_orbit_file.h"

#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/support/problem_text.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "bperp/stack/inputs/xml_document.h"

namespace bperp::stack {

namespace {

constexpr const char* fixed_header = "Earth_Explorer_Header/Fixed_Header";
constexpr const char* vector_list = "Data_Block/List_of_OSVs";
constexpr std::string_view utc_prefix = "UTC=";
constexpr std::string_view mission_prefix = "Sentinel-1";
constexpr const char* orbit_file_types[] = {"AUX_POEORB", "AUX_RESORB", "AUX_PREORB"};
constexpr const char* metres = "m";
constexpr const char* metres_per_second = "m/s";


// The children of an OSV element that are read, found in one pass over it.
enum Field {
  utc_field,
  x_field,
  y_field,
  z_field,
  vx_field,
  vy_field,
  vz_field,
  quality_field,
  fields
};
constexpr const char* field_names[fields] = {"UTC", "X", "Y", "Z", "VX", "VY", "VZ", "Quality"};

// The first child element of vector of each field name into out (empty
// nodes for those not there), in one pass over its children.
void find_fields(pugi::xml_node vector, pugi::xml_node (&out)[fields]) {
  for (pugi::xml_node& f : out) f = pugi::xml_node{};
  for (pugi::xml_node c = vector.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const char* name = c.name();
    for (int f = 0; f < fields; ++f)
      if (name[0] == field_names[f][0] && std::strcmp(name, field_names[f]) == 0) {
        if (!out[f]) out[f] = c;
        break;
      }
  }
}

// The element of one field, or an empty node and *why naming it as missing.
pugi::xml_node field(pugi::xml_node vector, const pugi::xml_node (&found)[fields], Field f,
                     std::string* why) {
  if (!found[f]) fail(why, xml_path(vector, field_names[f]) + " is missing");
  return found[f];
}

// The number in element, which must carry unit="unit".
std::optional<double> number_in(pugi::xml_node element, const char* unit, std::string* why) {
  const std::optional<double> v = xml_number(element, "", why);
  if (!v) return std::nullopt;
  const pugi::xml_attribute given = element.attribute("unit");
  if (std::strcmp(given.value(), unit) != 0) {
    fail(why, xml_path(element) +
                  (given ? " has unit=" + xml_quoted(given.value())
                         : std::string(" has no unit attribute")) +
                  "; expected unit=\"" + unit + "\"");
    return std::nullopt;
  }
  return v;
}

// Three numbers of vector, fields first .. first + 2, with the unit into out.
bool read_three(pugi::xml_node vector, const pugi::xml_node (&found)[fields], Field first,
                const char* unit, double (&out)[3], std::string* why) {
  for (int i = 0; i < 3; ++i) {
    const pugi::xml_node element = field(vector, found, static_cast<Field>(first + i), why);
    const std::optional<double> v = element ? number_in(element, unit, why) : std::nullopt;
    if (!v) return false;
    out[i] = *v;
  }
  return true;
}

// "S1A" of "Sentinel-1A"; nullopt and *why set for anything else.
std::optional<std::string> mission_code(pugi::xml_node header, std::string* why) {
  const std::optional<std::string_view> mission = xml_text(header, "Mission", why);
  if (!mission) return std::nullopt;
  const bool ok = mission->size() == mission_prefix.size() + 1 &&
                  mission->starts_with(mission_prefix) && mission->back() >= 'A' &&
                  mission->back() <= 'Z';
  if (!ok) {
    fail(why, xml_path(header, "Mission") + " is " + xml_quoted(*mission) +
                  ", not a Sentinel-1 mission (Sentinel-1A, Sentinel-1B, ...)");
    return std::nullopt;
  }
  return "S1" + std::string(1, mission->back());
}

// The file type when it is one of an orbit; nullopt and *why set otherwise.
std::optional<std::string> orbit_file_type(pugi::xml_node header, std::string* why) {
  const std::optional<std::string_view> type = xml_text(header, "File_Type", why);
  if (!type) return std::nullopt;
  for (const char* known : orbit_file_types)
    if (*type == known) return std::string(*type);
  fail(why, xml_path(header, "File_Type") + " is " + xml_quoted(*type) +
                ", not an orbit file's (AUX_POEORB, AUX_RESORB, AUX_PREORB)");
  return std::nullopt;
}

// Fixed_Header: file name, mission, type, validity period, creation date.
bool read_header(pugi::xml_node root, S1OrbitFile& file, std::string* why) {
  const pugi::xml_node header = xml_child(root, fixed_header, why);
  if (!header) return false;
  const std::optional<std::string_view> name = xml_text(header, "File_Name", why);
  const std::optional<std::string> mission = name ? mission_code(header, why) : std::nullopt;
  const std::optional<std::string> type = mission ? orbit_file_type(header, why) : std::nullopt;
  if (!type) return false;
  const std::optional<UtcTime> start =
      xml_utc(header, "Validity_Period/Validity_Start", utc_prefix, why);
  const std::optional<UtcTime> stop =
      start ? xml_utc(header, "Validity_Period/Validity_Stop", utc_prefix, why) : std::nullopt;
  const std::optional<UtcTime> creation =
      stop ? xml_utc(header, "Source/Creation_Date", utc_prefix, why) : std::nullopt;
  if (!creation) return false;
  if (*stop < *start)
    return fail(why,
                xml_path(header, "Validity_Period/Validity_Stop") + " comes before Validity_Start");
  file.file_name = std::string(*name);
  file.mission = *mission;
  file.file_type = *type;
  file.validity_start = *start;
  file.validity_stop = *stop;
  file.creation = *creation;
  return true;
}

// Consecutive vectors whose Quality is not NOMINAL.
struct QualityRun {
  std::size_t count = 0;
  UtcTime first{}, last{};
  std::string quality;  // the first one's
};

// Adds the warning of run to warnings (nothing for an empty run) and empties run.
void close_run(QualityRun& run, std::vector<std::string>& warnings) {
  if (run.count == 0) return;
  const std::string span = run.count == 1
                               ? "at " + utc_text(run.first)
                               : "from " + utc_text(run.first) + " to " + utc_text(run.last);
  warnings.push_back(std::to_string(run.count) +
                     (run.count == 1 ? " orbit vector " : " orbit vectors ") + span +
                     " of Quality " + xml_quoted(run.quality) + ", not " + s1_nominal_quality);
  run = QualityRun{};
}

// One OSV element appended to the orbit; a Quality other than NOMINAL
// extends run, a NOMINAL one closes it into warnings. A vector outside the
// window (when one is given) is checked for its time only: its time must
// come after *previous, which it becomes.
bool read_vector(pugi::xml_node vector, S1OrbitFile& file, QualityRun& run,
                 const OrbitWindow* window, std::optional<UtcTime>& previous, std::string* why) {
  pugi::xml_node found[fields];
  find_fields(vector, found);
  const pugi::xml_node utc = field(vector, found, utc_field, why);
  const std::optional<UtcTime> t = utc ? xml_utc(utc, "", utc_prefix, why) : std::nullopt;
  if (!t) return false;
  if (previous && !(*t > *previous))
    return fail(why, xml_path(vector) + " (" + utc_text(*t) + ")" +
                         (*t == *previous ? " repeats the time of the vector before it"
                                          : " comes before the vector before it (" + utc_text(*previous) +
                                                "): orbit vectors must be in time order"));
  previous = *t;
  if (window != nullptr && (*t < window->from || *t > window->to)) return true;
  double position[3], velocity[3];
  if (!read_three(vector, found, x_field, metres, position, why) ||
      !read_three(vector, found, vx_field, metres_per_second, velocity, why))
    return false;
  const pugi::xml_node quality_element = field(vector, found, quality_field, why);
  const std::optional<std::string_view> quality =
      quality_element ? xml_text(quality_element, "", why) : std::nullopt;
  if (!quality || !append_orbit_vector(file.orbit, *t, position, velocity, vector, why))
    return false;
  if (*quality == s1_nominal_quality) {
    close_run(run, file.warnings);
  } else {
    if (run.count == 0) {
      run.first = *t;
      run.quality = std::string(*quality);
    }
    run.last = *t;
    ++run.count;
  }
  return true;
}

// Data_Block/List_of_OSVs: its count, at least orbit_min_rows vectors.
bool read_vectors(pugi::xml_node root, S1OrbitFile& file, const OrbitWindow* window, std::string* why) {
  const pugi::xml_node list = xml_child(root, vector_list, why);
  if (!list) return false;
  const std::optional<std::size_t> n = xml_list_size(list, "OSV", true, why);
  if (!n) return false;
  if (*n < orbit_min_rows)
    return fail(why, xml_path(list) + " holds " + std::to_string(*n) + " vectors; at least " +
                         std::to_string(orbit_min_rows) + " are needed");
  file.orbit.rows.reserve(*n);
  QualityRun run;
  std::optional<UtcTime> previous;
  for (const pugi::xml_node vector : list.children("OSV"))
    if (!read_vector(vector, file, run, window, previous, why)) return false;
  close_run(run, file.warnings);
  if (window != nullptr && file.orbit.rows.size() < orbit_min_rows)
    return fail(why, xml_path(list) + " holds " + std::to_string(file.orbit.rows.size()) + " vectors from " +
                         utc_text(window->from) + " to " + utc_text(window->to) + "; at least " +
                         std::to_string(orbit_min_rows) + " are needed");
  return true;
}

// The orbit file in doc, with the file's name before any message.
std::optional<S1OrbitFile> orbit_file_of(const XmlDocument& doc, const OrbitWindow* window,
                                         std::string* problem) {
  std::string why;
  const pugi::xml_node root = xml_root(doc, "Earth_Explorer_File", &why);
  S1OrbitFile file;
  if (!root || !read_header(root, file, &why) || !read_vectors(root, file, window, &why)) {
    fail(problem, doc.name + ": " + why);
    return std::nullopt;
  }
  file.orbit.source = std::filesystem::path(doc.name).filename().string();
  return file;
}

}  // namespace

std::optional<S1OrbitFile> read_s1_orbit_file(const std::string& path, std::string* problem,
                                              const OrbitWindow* window) {
  XmlDocument doc;
  if (!load_xml_file(path, doc, problem)) return std::nullopt;
  return orbit_file_of(doc, window, problem);
}

std::optional<S1OrbitFile> read_s1_orbit_file_header(const std::string& path, std::string* problem) {
  // Opened without blocking and refused unless regular: a named pipe in an
  // orbit folder would otherwise wait for a writer that never comes.
  std::size_t size = 0;
  const FileDescriptor f = open_regular(path, &size, problem);
  if (!f.is_open()) return std::nullopt;
  std::string head;
  if (!read_bytes(f.get(), std::min(size, orbit_header_bytes), path, head, problem)) return std::nullopt;
  return parse_s1_orbit_file_header(head, path, problem);
}

std::optional<S1OrbitFile> parse_s1_orbit_file_header(std::string_view bytes, const std::string& name,
                                                      std::string* problem) {
  // The header comes first: read up to its end and close the root there.
  constexpr std::string_view header_end = "</Earth_Explorer_Header>";
  std::string head(bytes.substr(0, orbit_header_bytes));
  const std::size_t end = head.find(header_end);
  if (end == std::string::npos) {
    fail(problem, name + ": no Earth_Explorer_Header within its first " +
                      std::to_string(orbit_header_bytes) + " bytes");
    return std::nullopt;
  }
  head.resize(end + header_end.size());
  head += "</Earth_Explorer_File>";
  XmlDocument doc;
  if (!load_xml_bytes(head, name, doc, problem)) return std::nullopt;
  std::string why;
  const pugi::xml_node root = xml_root(doc, "Earth_Explorer_File", &why);
  S1OrbitFile file;
  if (!root || !read_header(root, file, &why)) {
    fail(problem, name + ": " + why);
    return std::nullopt;
  }
  file.orbit.source = std::filesystem::path(name).filename().string();
  return file;
}

std::optional<S1OrbitFile> parse_s1_orbit_file(std::string_view bytes, const std::string& name,
                                               std::string* problem, const OrbitWindow* window) {
  XmlDocument doc;
  if (!load_xml_bytes(bytes, name, doc, problem)) return std::nullopt;
  return orbit_file_of(doc, window, problem);
}

}  // namespace bperp::stack
