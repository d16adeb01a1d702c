#include "bperp/stack/inputs/xml_document.h"

#include "bperp/stack/support/problem_text.h"

#include "bperp/stack/support/bounded_file.h"
#include "bperp/stack/inputs/xml_cut.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "bperp/io/ascii_text.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

namespace {

// Parsing: no document type is skipped silently (it is kept as a node, and
// refused), and no reference is replaced: a number or time written with
// &#...; is refused rather than read, and no character reference can put a
// NUL inside a text and cut it short.
constexpr unsigned parse_flags =
    (pugi::parse_default | pugi::parse_doctype) & ~static_cast<unsigned>(pugi::parse_escapes);

constexpr std::size_t mebibyte = std::size_t{1} << 20;


// What the parsed document costs besides its bytes, at most: a node (some
// 64 bytes) for each '<' (an element; the text after it one more, which an
// end tag's '<' pays for), an attribute (some 40 bytes) for each '='.
constexpr std::size_t node_bytes = 64, attribute_bytes = 40;

// The count of byte c in bytes, found with memchr (markup bytes are some
// tens apart, so that this is a fraction of an instruction a byte).
std::size_t count_of(std::string_view bytes, char c) {
  std::size_t n = 0;
  for (const char *p = bytes.data(), *end = p + bytes.size();
       (p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)))) != nullptr; ++p)
    ++n;
  return n;
}

// Whether bytes, parsed, would cost at most max_xml_cost times their size;
// false and *problem set (starting with name) otherwise.
bool within_cost(std::string_view bytes, const std::string& name, std::string* problem) {
  const std::size_t tags = count_of(bytes, '<');
  const std::size_t attributes = count_of(bytes, '=');
  if (tags * node_bytes + attributes * attribute_bytes > (max_xml_cost - 1) * bytes.size())
    return fail(problem, name + ": holds " + std::to_string(tags) + " tags and " + std::to_string(attributes) +
                             " attributes in " + std::to_string(bytes.size()) +
                             " bytes, markup denser than an XML product's: parsed, it would take more than " +
                             std::to_string(max_xml_cost) + " times its size");
  return true;
}

// Parses out.bytes in place. False and *problem set as load_xml_bytes says.
bool parse_in_place(XmlDocument& out, std::string* problem) {
  if (out.bytes.empty()) return fail(problem, out.name + ": is empty");
  if (!within_cost(out.bytes, out.name, problem)) return false;
  const pugi::xml_parse_result result =
      out.doc.load_buffer_inplace(out.bytes.data(), out.bytes.size(), parse_flags);
  if (!result) {
    const bool at_end = static_cast<std::size_t>(result.offset) + 1 >= out.bytes.size();
    return fail(problem,
                out.name + ": not well-formed XML at byte " + std::to_string(result.offset) +
                    (at_end ? " (its end: cut short?)" : "") + ": " + result.description());
  }
  for (const pugi::xml_node node : out.doc.children())
    if (node.type() == pugi::node_doctype)
      return fail(problem, out.name +
                               ": has a document type declaration (<!DOCTYPE ...>); XML products "
                               "are read without one, so that no entity is expanded");
  return true;
}

// True when the element's name is name.
bool named(pugi::xml_node node, std::string_view name) {
  if (node.type() != pugi::node_element) return false;
  const char* own = node.name();  // NUL-terminated; read no further than its NUL
  for (const char c : name)
    if (*own == '\0' || *own++ != c) return false;
  return *own == '\0';
}

// The first child element of node named name; an empty node for none.
pugi::xml_node child_named(pugi::xml_node node, std::string_view name) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
    if (named(c, name)) return c;
  return {};
}

// 1 + the number of earlier siblings of element with its name, or 0 when
// no other sibling has its name.
std::size_t sibling_number(pugi::xml_node element) {
  std::size_t before = 0;
  for (pugi::xml_node s = element.previous_sibling(); s; s = s.previous_sibling())
    if (named(s, element.name())) ++before;
  bool after = false;
  for (pugi::xml_node s = element.next_sibling(); s && !after; s = s.next_sibling())
    after = named(s, element.name());
  return before == 0 && !after ? 0 : before + 1;
}

// text trimmed and without one leading '+' (std::from_chars takes none);
// "" (no number) when another sign follows that '+'.
std::string_view unsigned_digits(std::string_view text) {
  text = trimmed(text);
  if (!text.starts_with('+')) return text;
  text.remove_prefix(1);
  return text.starts_with('+') || text.starts_with('-') ? std::string_view{} : text;
}

// Reads the decimal number filling text (see number_from_text) into value:
// nullptr, or what is wrong with text ("not a number", ...).
const char* number_fault(std::string_view text, double& value) {
  const std::string_view digits = unsigned_digits(text);
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error == std::errc::result_out_of_range) return "not a number in the range of a double";
  if (digits.empty() || error != std::errc{} || stop != end) return "not a number";
  if (!std::isfinite(value)) return "not a finite number";
  return nullptr;
}

// Reads the base-10 integer filling text into value: nullptr, or what is
// wrong with text.
const char* integer_fault(std::string_view text, long& value) {
  const std::string_view digits = unsigned_digits(text);
  const char* end = digits.data() + digits.size();
  const auto [stop, error] = std::from_chars(digits.data(), end, value);
  if (error == std::errc::result_out_of_range) return "not an integer in the range of a long";
  if (digits.empty() || error != std::errc{} || stop != end) return "not an integer";
  return nullptr;
}

// False when text starts with four digits of a year outside the years a
// product is read for (whose instants, in nanoseconds since 1970, fit the
// 64 bits of UtcTime many times over); true otherwise, for parse_utc to judge.
bool plausible_year(std::string_view text) {
  constexpr int digits = 4, base = 10;
  if (text.size() < digits) return true;
  int year = 0;
  for (int i = 0; i < digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return true;
    year = year * base + (text[i] - '0');
  }
  return year >= first_product_year && year <= last_product_year;
}

// The refusal of name, size bytes long, beyond max_bytes.
std::string too_large(const std::string& name, std::size_t size, std::size_t max_bytes) {
  return name + ": is " + std::to_string(size) + " bytes, more than the " +
         std::to_string(max_bytes / mebibyte) + " MiB (" + std::to_string(max_bytes) +
         " bytes) an XML product may hold";
}

// Reads the regular file at path (at most max_bytes) into out.bytes,
// unparsed; false and *problem set as load_xml_file says.
bool read_xml_file(const std::string& path, XmlDocument& out, Refusal* problem, std::size_t max_bytes) {
  out.name = path;
  std::size_t size = 0;
  std::string why;
  const FileDescriptor file = open_regular(path, &size, &why);
  if (!file.is_open()) return refuse(problem, RefusalKind::unreadable, why);
  if (size > max_bytes) return refuse(problem, RefusalKind::malformed, too_large(path, size, max_bytes));
  if (!read_bytes(file.get(), size, path, out.bytes, &why)) return refuse(problem, RefusalKind::unreadable, why);
  return true;
}

}  // namespace

bool load_xml_file(const std::string& path, XmlDocument& out, Refusal* problem, std::size_t max_bytes) {
  std::string why;
  if (!read_xml_file(path, out, problem, max_bytes)) return false;
  if (!parse_in_place(out, &why)) return refuse(problem, RefusalKind::malformed, why);
  return true;
}

bool load_xml_file(const std::string& path, XmlDocument& out, std::string* problem, std::size_t max_bytes) {
  Refusal refusal;
  if (load_xml_file(path, out, &refusal, max_bytes)) return true;
  return fail(problem, std::move(refusal.text));
}

bool load_xml_bytes(std::string_view bytes, const std::string& name, XmlDocument& out,
                    std::string* problem) {
  out.name = name;
  if (bytes.size() > max_xml_bytes)
    return fail(problem, too_large(name, bytes.size(), max_xml_bytes));
  out.bytes.assign(bytes);
  return parse_in_place(out, problem);
}

pugi::xml_node xml_root(const XmlDocument& doc, const char* expected, std::string* problem) {
  const pugi::xml_node root = doc.doc.document_element();
  if (named(root, expected)) return root;
  fail(problem, "the root element is " + xml_quoted(root.name()) + ", not " + xml_quoted(expected));
  return {};
}

std::string xml_path(pugi::xml_node element) {
  std::string path;
  for (pugi::xml_node e = element; e && e.parent() && e.parent().type() == pugi::node_element;
       e = e.parent()) {
    std::string step = e.name();
    if (const std::size_t k = sibling_number(e); k > 0) {
      step += '[';
      step += std::to_string(k);
      step += ']';
    }
    path = path.empty() ? step : step + "/" + path;
  }
  return path;
}

std::string xml_path(pugi::xml_node element, std::string_view relative) {
  std::string path = xml_path(element);
  if (!path.empty() && !relative.empty()) path += '/';
  path.append(relative);
  return path;
}

std::string xml_quoted(std::string_view text) { return quoted_excerpt(text, '"'); }

pugi::xml_node xml_child(pugi::xml_node node, std::string_view path, std::string* problem) {
  if (path.empty()) return node;
  std::size_t start = 0;
  while (node && start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    const pugi::xml_node child = child_named(node, path.substr(start, slash - start));
    if (!child) fail(problem, xml_path(node, path.substr(start, slash - start)) + " is missing");
    node = child;
    start = slash + 1;
  }
  return node;
}

std::optional<std::string_view> xml_text(pugi::xml_node node, std::string_view path,
                                         std::string* problem) {
  const pugi::xml_node element = xml_child(node, path, problem);
  if (!element) return std::nullopt;
  const pugi::xml_node text = element.first_child();
  if (!text) return std::string_view{};
  const bool one_text =
      (text.type() == pugi::node_pcdata || text.type() == pugi::node_cdata) && !text.next_sibling();
  if (!one_text) {
    fail(problem, xml_path(element) + " holds more than one text (elements or comments)");
    return std::nullopt;
  }
  return trimmed(text.value());
}

std::optional<double> number_from_text(std::string_view text, std::string* problem) {
  double value = 0.0;
  const char* why = number_fault(text, value);
  if (why != nullptr) fail(problem, xml_quoted(trimmed(text)) + " is " + why);
  return why == nullptr ? std::optional<double>(value) : std::nullopt;
}

std::optional<long> integer_from_text(std::string_view text, std::string* problem) {
  long value = 0;
  const char* why = integer_fault(text, value);
  if (why != nullptr) fail(problem, xml_quoted(trimmed(text)) + " is " + why);
  return why == nullptr ? std::optional<long>(value) : std::nullopt;
}

std::optional<double> xml_number(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  double value = 0.0;
  const char* why = number_fault(*text, value);
  if (why != nullptr) fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) + ", " + why);
  return why == nullptr ? std::optional<double>(value) : std::nullopt;
}

std::optional<long> xml_integer(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  long value = 0;
  const char* why = integer_fault(*text, value);
  if (why != nullptr) fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) + ", " + why);
  return why == nullptr ? std::optional<long>(value) : std::nullopt;
}

std::optional<UtcTime> xml_utc(pugi::xml_node node, std::string_view path, std::string_view prefix,
                               std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  if (!text->starts_with(prefix)) {
    fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) +
                      ", which does not start with " + std::string(prefix));
    return std::nullopt;
  }
  const std::string_view time = text->substr(prefix.size());
  if (!plausible_year(time)) {
    fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) +
                      ", not a UTC time (its year lies outside " +
                      std::to_string(first_product_year) + " to " +
                      std::to_string(last_product_year) + ")");
    return std::nullopt;
  }
  std::string why;
  const std::optional<UtcTime> t = parse_utc(time, &why);
  if (!t) {
    // parse_utc's reason, without its copy of the text (which may hold any byte).
    constexpr std::string_view said = " is not a UTC time ";
    const std::size_t at = why.rfind(said);
    std::string message = xml_path(node, path) + " is " + xml_quoted(*text) + ", not a UTC time";
    if (at != std::string::npos) message.append(" ").append(why, at + said.size());
    fail(problem, std::move(message));
  }
  return t;
}

std::optional<std::size_t> xml_list_size(pugi::xml_node list, const char* item, bool required,
                                         std::string* problem) {
  std::size_t n = 0;
  for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling()) n += named(c, item) ? 1 : 0;
  const pugi::xml_attribute count = list.attribute("count");
  if (!count) {
    if (!required) return n;
    fail(problem, xml_path(list) + " has no count attribute");
    return std::nullopt;
  }
  std::string why;
  const std::optional<long> said = integer_from_text(count.value(), &why);
  if (!said) {
    fail(problem, xml_path(list) + ": its count attribute " + why);
    return std::nullopt;
  }
  if (*said < 0 || static_cast<std::size_t>(*said) != n) {
    fail(problem, xml_path(list) + " says count=" + std::to_string(*said) + " but holds " +
                      std::to_string(n) + " " + item + " elements");
    return std::nullopt;
  }
  return n;
}

bool append_orbit_vector(TimedOrbit& orbit, UtcTime t, const double (&position_m)[3],
                         const double (&velocity_m_s)[3], pugi::xml_node element,
                         std::string* problem) {
  if (orbit.rows.empty()) orbit.epoch = t;
  OrbitRow row;
  row.t = seconds_between(orbit.epoch, t);
  if (!orbit.rows.empty() && !(row.t > orbit.rows.back().t)) {
    const UtcTime last = add_seconds(orbit.epoch, orbit.rows.back().t);
    const std::string when = " (" + utc_text(t) + ")";
    return fail(problem, xml_path(element) + when +
                             (row.t == orbit.rows.back().t
                                  ? " repeats the time of the vector before it"
                                  : " comes before the vector before it (" + utc_text(last) +
                                        "): orbit vectors must be in time order"));
  }
  for (int i = 0; i < 3; ++i) {
    row.state.position[i] = position_m[i] / units::metres_per_km;
    row.state.velocity[i] = velocity_m_s[i] / units::metres_per_km;
  }
  orbit.rows.push_back(row);
  return true;
}

std::optional<double> xml_positive(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<double> v = xml_number(node, path, problem);
  if (v && !(*v > 0.0)) {
    fail(problem, xml_path(node, path) + " is " + round_trip_text(*v) + "; it must be positive");
    return std::nullopt;
  }
  return v;
}

std::optional<double> xml_bounded(pugi::xml_node node, std::string_view path, const char* unit,
                                  const std::function<std::string(double)>& bound, std::string* problem) {
  const std::optional<double> v = xml_number(node, path, problem);
  if (!v) return std::nullopt;
  if (const std::string why = bound(*v); !why.empty()) {
    fail(problem, xml_path(node, path) + " is " + round_trip_text(*v) + " " + unit + "; " + why);
    return std::nullopt;
  }
  return v;
}

std::optional<long> xml_integer_at_least(pugi::xml_node node, std::string_view path, long least,
                                         std::string* problem) {
  const std::optional<long> v = xml_integer(node, path, problem);
  if (v && *v < least) {
    fail(problem, xml_path(node, path) + " is " + std::to_string(*v) + "; it must be at least " +
                      std::to_string(least));
    return std::nullopt;
  }
  return v;
}

std::optional<std::string> xml_word(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  if (text->empty()) {
    fail(problem, xml_path(node, path) + " is empty");
    return std::nullopt;
  }
  return upper(*text);
}

std::optional<std::string> xml_pass(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  std::optional<std::string> pass = pass_from_text(*text);
  if (!pass)
    fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) + ", not Ascending or Descending");
  return pass;
}

std::optional<LookSide> xml_look_side(pugi::xml_node node, std::string_view path, std::string* problem) {
  const std::optional<std::string_view> text = xml_text(node, path, problem);
  if (!text) return std::nullopt;
  const std::optional<LookSide> side = look_side_from_text(*text);
  if (!side) fail(problem, xml_path(node, path) + " is " + xml_quoted(*text) + ", not Right or Left");
  return side;
}

namespace {

// Three numbers at the paths below element into out.
bool read_xyz(pugi::xml_node element, const char* const (&paths)[3], double (&out)[3], std::string* problem) {
  for (int i = 0; i < 3; ++i) {
    const std::optional<double> v = xml_number(element, paths[i], problem);
    if (!v) return false;
    out[i] = *v;
  }
  return true;
}

// One vector at element appended to orbit: its time, the layout's check,
// its position and its velocity.
bool read_xml_orbit_vector(pugi::xml_node element, const XmlOrbitLayout& layout, TimedOrbit& orbit,
                           std::string* problem) {
  const std::optional<UtcTime> t = xml_utc(element, layout.paths.time, "", problem);
  if (!t || (layout.check != nullptr && !layout.check(element, problem))) return false;
  double position[3], velocity[3];
  return read_xyz(element, layout.paths.position, position, problem) &&
         read_xyz(element, layout.paths.velocity, velocity, problem) &&
         append_orbit_vector(orbit, *t, position, velocity, element, problem);
}

}  // namespace

bool read_xml_orbit(pugi::xml_node list, const XmlOrbitLayout& layout, TimedOrbit& orbit, std::string* problem) {
  const std::optional<std::size_t> n = xml_list_size(list, layout.item, false, problem);
  if (!n) return false;
  if (layout.count != nullptr) {
    const std::optional<long> said = xml_integer(list, layout.count, problem);
    if (!said) return false;
    if (*said < 0 || static_cast<std::size_t>(*said) != *n)
      return fail(problem, xml_path(list, layout.count) + " says " + std::to_string(*said) + " but " +
                               xml_path(list) + " holds " + std::to_string(*n) + " " + layout.item + " elements");
  }
  if (*n < orbit_min_rows)
    return fail(problem, xml_path(list) + " holds " + std::to_string(*n) + " orbit vectors; at least " +
                             std::to_string(orbit_min_rows) + " are needed");
  orbit.rows.reserve(*n);
  for (const pugi::xml_node vector : list.children(layout.item))
    if (!read_xml_orbit_vector(vector, layout, orbit, problem)) return false;
  orbit.source = layout.source;
  return true;
}

namespace {

// The product of reader's kind in a loaded document, or nullopt and *why
// set (without the document's name).
std::optional<ProductInfo> xml_product(const XmlDocument& doc, const XmlProductReader& reader, std::string* why,
                                       bool* unknown) {
  const pugi::xml_node root = xml_root(doc, reader.root, why);
  if (!root) return std::nullopt;
  ProductInfo info;
  info.format = reader.format;
  if (!reader.read(root, info, why, unknown)) return std::nullopt;
  return info;
}

// The product reader reads in whole.bytes parsed without what reader never
// looks at (reader.kept), when that can be cut out and what is left parses
// and reads without a refusal; nullopt otherwise (the whole then says why).
std::optional<ProductInfo> read_cut(const XmlDocument& whole, const XmlProductReader& reader) {
  XmlDocument cut;
  cut.name = whole.name;
  if (reader.kept.empty() || !within_cost(whole.bytes, whole.name, nullptr) ||
      !cut_unread_elements(whole.bytes, reader.kept, cut.bytes))
    return std::nullopt;
  std::string why;
  if (!parse_in_place(cut, &why)) return std::nullopt;
  return xml_product(cut, reader, &why, nullptr);
}

}  // namespace

std::optional<ProductInfo> read_xml_product(const std::string& path, const XmlProductReader& reader,
                                            Refusal* problem) {
  XmlDocument doc;
  if (!read_xml_file(path, doc, problem, max_xml_bytes)) return std::nullopt;
  if (std::optional<ProductInfo> info = read_cut(doc, reader)) return info;
  std::string why;
  if (!parse_in_place(doc, &why)) {
    refuse(problem, RefusalKind::malformed, why);
    return std::nullopt;
  }
  bool unknown = false;
  std::optional<ProductInfo> info = xml_product(doc, reader, &why, &unknown);
  if (!info) refuse(problem, unknown ? RefusalKind::unknown_format : RefusalKind::malformed, path + ": " + why);
  return info;
}

std::optional<ProductInfo> parse_xml_product(std::string_view bytes, const std::string& name,
                                             const XmlProductReader& reader, std::string* problem) {
  XmlDocument doc;
  doc.name = name;
  if (bytes.size() <= max_xml_bytes) {
    doc.bytes.assign(bytes);
    if (std::optional<ProductInfo> info = read_cut(doc, reader)) return info;
  }
  if (!load_xml_bytes(bytes, name, doc, problem)) return std::nullopt;
  std::string why;
  std::optional<ProductInfo> info = xml_product(doc, reader, &why, nullptr);
  if (!info) fail(problem, name + ": " + why);
  return info;
}

namespace {

// The position after the white space at text[i].
std::size_t skip_white(std::string_view text, std::size_t i) {
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
    ++i;
  return i;
}

// The position after the document type declaration at text[i] ("<!DOCTYPE
// ... [ ... ]>", '>' inside its brackets ignored); npos when cut off.
std::size_t skip_doctype(std::string_view text, std::size_t i) {
  int depth = 0;
  for (; i < text.size(); ++i) {
    if (text[i] == '[')
      ++depth;
    else if (text[i] == ']')
      --depth;
    else if (text[i] == '>' && depth <= 0)
      return i + 1;
  }
  return std::string_view::npos;
}

// The position after the first closer in text; npos when there is none.
std::size_t past(std::string_view text, std::string_view closer) {
  const std::size_t at = text.find(closer);
  return at == std::string_view::npos ? at : at + closer.size();
}

// The position of the next start tag at or after text[i], past white space,
// declarations, processing instructions, comments and a document type;
// npos when anything else comes first or text ends.
std::size_t next_start_tag(std::string_view text, std::size_t i) {
  while (true) {
    i = skip_white(text, i);
    if (i >= text.size() || text[i] != '<') return std::string_view::npos;
    const std::string_view rest = text.substr(i);
    std::size_t end = std::string_view::npos;
    if (rest.starts_with("<?"))
      end = past(rest, "?>");
    else if (rest.starts_with("<!--"))
      end = past(rest, "-->");
    else if (rest.starts_with("<!"))
      end = skip_doctype(rest, 0);
    else
      return rest.size() > 1 && rest[1] != '/' ? i : std::string_view::npos;
    if (end == std::string_view::npos) return end;
    i += end;
  }
}

// The element name of the start tag at text[lt] ('<' there).
std::string_view tag_name(std::string_view text, std::size_t lt) {
  const std::size_t first = lt + 1;
  const std::size_t end = text.find_first_of(" \t\r\n/>", first);
  return text.substr(first, (end == std::string_view::npos ? text.size() : end) - first);
}

// The position after the start tag at text[lt] (quoted '>' skipped), or
// npos when it is cut off or closes itself ("<a/>": no children follow).
std::size_t after_start_tag(std::string_view text, std::size_t lt) {
  char quote = 0;
  for (std::size_t i = lt + 1; i < text.size(); ++i) {
    if (quote != 0) {
      if (text[i] == quote) quote = 0;
    } else if (text[i] == '"' || text[i] == '\'') {
      quote = text[i];
    } else if (text[i] == '>') {
      return text[i - 1] == '/' ? std::string_view::npos : i + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

namespace {

// head without a UTF-8 byte-order mark.
std::string_view without_byte_order_mark(std::string_view head) {
  constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
  if (head.starts_with(byte_order_mark)) head.remove_prefix(byte_order_mark.size());
  return head;
}

// name without its namespace prefix ("xfdu:XFDU" -> "XFDU").
std::string_view local_name(std::string_view name) {
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The value of the attribute name in the start tag at text[lt]; "" when it
// has none or it is cut off.
std::string attribute_value(std::string_view text, std::size_t lt, std::string_view name) {
  const std::size_t end = after_start_tag(text, lt);
  const std::string_view tag = text.substr(lt, end == std::string_view::npos ? text.size() - lt : end - lt);
  for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' || tag[at - 1] == '\n' || tag[at - 1] == '\r');
    std::size_t i = at + name.size();
    while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n')) ++i;
    if (!starts || i >= tag.size() || tag[i] != '=') continue;
    i = skip_white(tag, i + 1);
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) return {};
    const std::size_t close = tag.find(tag[i], i + 1);
    if (close == std::string_view::npos) return {};
    return std::string(tag.substr(i + 1, close - i - 1));
  }
  return {};
}

}  // namespace

XmlProductKind xml_product_kind(std::string_view head) {
  head = without_byte_order_mark(head);
  const std::size_t root = next_start_tag(head, 0);
  if (root == std::string_view::npos) return XmlProductKind::none;
  const std::string_view root_name = tag_name(head, root);
  if (root_name == "Earth_Explorer_File") return XmlProductKind::s1_orbit_file;
  if (local_name(root_name) == "XFDU") return XmlProductKind::s1_manifest;
  if (root_name == "level1Product") return XmlProductKind::tsx_annotation;
  if (root_name == "SAOCOM_XMLProduct") return XmlProductKind::saocom_annotation;
  if (root_name == "Metadata" && head.find("<Orbit_State_Vectors") != std::string_view::npos)
    return XmlProductKind::iceye_metadata;
  if (root_name != "product") return XmlProductKind::other_xml;
  const std::size_t inside = after_start_tag(head, root);
  if (inside == std::string_view::npos) return XmlProductKind::other_xml;
  const std::size_t child = next_start_tag(head, inside);
  if (child == std::string_view::npos) return XmlProductKind::other_xml;
  const std::string_view child_name = tag_name(head, child);
  if (child_name == "adsHeader") return XmlProductKind::s1_annotation;
  if (child_name == "productId") return XmlProductKind::rcm_product;
  return XmlProductKind::other_xml;
}

XmlRoot xml_root_of(std::string_view head) {
  head = without_byte_order_mark(head);
  XmlRoot root;
  const std::size_t lt = next_start_tag(head, 0);
  if (lt == std::string_view::npos) return root;
  root.name = std::string(tag_name(head, lt));
  const std::size_t colon = root.name.find(':');
  root.name_space =
      attribute_value(head, lt, colon == std::string::npos ? "xmlns" : "xmlns:" + root.name.substr(0, colon));
  return root;
}

XmlProductKind xml_product_kind_of_file(const std::string& path) {
  std::size_t size = 0;
  const FileDescriptor file = open_regular(path, &size, nullptr);
  if (!file.is_open()) return XmlProductKind::none;
  std::string head;
  if (!read_bytes(file.get(), std::min(size, xml_sniff_bytes), path, head, nullptr))
    return XmlProductKind::none;
  return xml_product_kind(head);
}

}  // namespace bperp::stack
