// XML products read safely: bounded in size, refused when they carry a
// document type (so no entity is ever expanded and nothing outside the file
// is ever loaded), with the elements, texts, numbers and UTC times a reader
// needs fetched by path and checked, and messages that name the path.
//
// Paths are slash-separated element names below an element ("a/b/c": the
// first child a, its first child b, ...; "" is the element itself). Paths in messages start below
// the root element ("generalAnnotation/productInformation/radarFrequency") and number repeated
// elements from 1 ("orbitList/orbit[3]/time").
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "bperp/stack/inputs/product.h"
#include "bperp/stack/support/refusal.h"
#include "bperp/stack/support/utc_time.h"

namespace bperp::stack {

// The largest XML file read: some 15 times a precise orbit file (4.5 MB)
// and 60 times a product annotation (1 MB).
constexpr std::size_t max_xml_bytes = std::size_t{64} << 20;

// The most a parsed document may cost, as a multiple of its size (its bytes
// and the parser's nodes and attributes): a file at max_xml_bytes takes at
// most 512 MiB. Products' markup costs 2 to 4 times their size (an
// annotation some 90 bytes a tag, a precise orbit file some 23); a file of
// denser markup ("<a/><a/>...", 16 times its size) is refused before it is
// parsed.
constexpr std::size_t max_xml_cost = 8;

// Bytes at the start of a file that tell its kind (the root element and its
// first child come well before).
constexpr std::size_t xml_sniff_bytes = 4096;

// A parsed document and the bytes it was parsed from: pugixml keeps its
// strings inside them, so the two live together and are neither copied nor
// moved. name (the file's path, or the name given with the bytes) begins
// every message.
struct XmlDocument {
  std::string name;
  std::string bytes;
  pugi::xml_document doc;

  XmlDocument() = default;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
};

// Reads the regular file at path (at most max_bytes, checked by its size
// before a byte is read) into out and parses it. False and *problem set,
// starting with the path, when the file cannot be opened, is no regular
// file or can't be read (unreadable), or is empty, larger than max_bytes or
// refused by load_xml_bytes (malformed).
bool load_xml_file(const std::string& path, XmlDocument& out, Refusal* problem,
                   std::size_t max_bytes = max_xml_bytes);
// The same with the refusal's text alone.
bool load_xml_file(const std::string& path, XmlDocument& out, std::string* problem,
                   std::size_t max_bytes = max_xml_bytes);

// Parses bytes (kept in out.bytes) as a document named name. False and
// *problem set, starting with name, for more than max_xml_bytes, no bytes,
// markup that would cost more than max_xml_cost times its size, XML that is
// not well formed or cut short (pugixml's description and the byte offset),
// and any document type declaration.
bool load_xml_bytes(std::string_view bytes, const std::string& name, XmlDocument& out,
                    std::string* problem);

// The root element of doc when it is named expected; otherwise an empty
// node and *problem says which root the document has (without its name).
pugi::xml_node xml_root(const XmlDocument& doc, const char* expected, std::string* problem);

// The path of element below the root, for messages: "" for the root itself,
// "Data_Block/List_of_OSVs/OSV[17]" deeper down.
std::string xml_path(pugi::xml_node element);

// The path of element joined with a relative path below it.
std::string xml_path(pugi::xml_node element, std::string_view relative);

// text in quotes for a message: at most 40 characters, each one that is not
// printable ASCII shown as '?', "..." after a cut.
std::string xml_quoted(std::string_view text);

// The element at path below node. An empty node and *problem set
// ("<path up to the first missing element> is missing") when it is not there.
pugi::xml_node xml_child(pugi::xml_node node, std::string_view path, std::string* problem);

// The text of the element at path (white space around it cut off; "" for an
// empty element). nullopt and *problem set when the element is missing or
// holds anything besides one text (elements, or a comment splitting it).
// The view points into the document.
std::optional<std::string_view> xml_text(pugi::xml_node node, std::string_view path,
                                         std::string* problem);

// A decimal number filling all of text (white space around it allowed, one
// leading '+' allowed), read independently of the locale. nullopt and
// *problem set (without a path) for anything else: no digits, trailing
// text, hexadecimal, out of the range of a double, not finite.
std::optional<double> number_from_text(std::string_view text, std::string* problem);

// An integer filling all of text (as number_from_text, base 10, fits a long).
std::optional<long> integer_from_text(std::string_view text, std::string* problem);

// The number, the integer and the UTC time in the text of the element at
// path: nullopt and *problem set, naming the path, when the element is
// missing or its text is none. The UTC text may have to start with prefix
// ("UTC="), which is cut off before it is read, and its year must lie in
// 1970 to 2199.
std::optional<double> xml_number(pugi::xml_node node, std::string_view path, std::string* problem);
std::optional<long> xml_integer(pugi::xml_node node, std::string_view path, std::string* problem);
std::optional<UtcTime> xml_utc(pugi::xml_node node, std::string_view path, std::string_view prefix,
                               std::string* problem);

// The number of child elements of list named item. When list has a count
// attribute (or required is true: it must have one) that count must be the
// same: otherwise nullopt and *problem set, naming the list and both numbers.
std::optional<std::size_t> xml_list_size(pugi::xml_node list, const char* item, bool required,
                                         std::string* problem);

// Appends one earth-fixed orbit vector of an XML product (time t, position
// in m, velocity in m/s) to orbit as a row in km and km/s at t - epoch
// seconds; the first vector sets the epoch. False and *problem set, naming
// element (the vector's element), when t does not come strictly after the
// last row's time: it repeats that time, or comes before it.
bool append_orbit_vector(TimedOrbit& orbit, UtcTime t, const double (&position_m)[3],
                         const double (&velocity_m_s)[3], pugi::xml_node element,
                         std::string* problem);

// The number at path when it is positive (a frequency, a rate, an
// interval); nullopt and *problem set, naming the path, otherwise.
std::optional<double> xml_positive(pugi::xml_node node, std::string_view path, std::string* problem);

// The number at path (in unit, as messages name it) when bound(value)
// says nothing against it (see product_bounds.h); nullopt and *problem set,
// naming the path, the value and the bound, otherwise.
std::optional<double> xml_bounded(pugi::xml_node node, std::string_view path, const char* unit,
                                  const std::function<std::string(double)>& bound, std::string* problem);

// The integer at path when it is at least least; nullopt and *problem set otherwise.
std::optional<long> xml_integer_at_least(pugi::xml_node node, std::string_view path, long least,
                                         std::string* problem);

// The non-empty text at path in upper case; nullopt and *problem set otherwise.
std::optional<std::string> xml_word(pugi::xml_node node, std::string_view path, std::string* problem);

// The pass at path (Ascending or Descending, any case) in upper case, and
// the look side at path (Right or Left, any case); nullopt and *problem set,
// naming the path and the text, for anything else.
std::optional<std::string> xml_pass(pugi::xml_node node, std::string_view path, std::string* problem);
std::optional<LookSide> xml_look_side(pugi::xml_node node, std::string_view path, std::string* problem);

// The paths of an orbit vector's parts below its element: its UTC time and
// the x, y, z of its position (m) and velocity (m/s).
struct XmlVectorPaths {
  const char* time;
  const char* position[3];
  const char* velocity[3];
};

// A product's own check of one vector's element (its frame, say), made
// after its time is read and before its numbers: false and *problem set
// when the vector can't be used.
using XmlVectorCheck = bool (*)(pugi::xml_node element, std::string* problem);

// How a product lists its orbit: the vectors' element name below the list,
// their parts, an element below the list that counts them (null for none),
// the orbit's source, and a check of each vector (null for none).
struct XmlOrbitLayout {
  const char* item;
  XmlVectorPaths paths;
  const char* count = nullptr;
  const char* source = "";
  XmlVectorCheck check = nullptr;
};

// Every vector of list (at least orbit_min_rows, in time order; see
// append_orbit_vector) into orbit, with the layout's source. The list's
// count attribute, and its count element when the layout names one, must
// equal the number of vectors. False and *problem set, naming the element,
// otherwise.
bool read_xml_orbit(pugi::xml_node list, const XmlOrbitLayout& layout, TimedOrbit& orbit, std::string* problem);

// One XML product kind: its root element's name, its ProductInfo::format,
// and how the root is read: info (its format set) filled, or false and *why
// set (without the document's name). *unknown, when not null, is set when
// the root holds no product of the kind at all (another mission's), so that
// the refusal is unknown_format rather than malformed.
//
// kept, when not empty, lists the paths below the root that read may look
// at: the rest is cut out before the document is parsed (xml_cut.h); what
// is refused is refused as the whole document would be.
struct XmlProductReader {
  const char* root;
  const char* format;
  bool (*read)(pugi::xml_node root, ProductInfo& info, std::string* why, bool* unknown);
  std::span<const std::string_view> kept = {};
};

// The product of the kind reader reads in the XML file at path (at most
// max_xml_bytes). nullopt and *problem set, starting with path, otherwise:
// unreadable when the file can't be opened or read, unknown_format when the
// reader says it holds no product of the kind, malformed for the rest
// (another root element included).
std::optional<ProductInfo> read_xml_product(const std::string& path, const XmlProductReader& reader,
                                            Refusal* problem);

// The same for a document held in bytes, named name in the messages.
std::optional<ProductInfo> parse_xml_product(std::string_view bytes, const std::string& name,
                                             const XmlProductReader& reader, std::string* problem);

// What the first bytes of a file say it is: a Sentinel-1 product
// annotation (root <product> whose first element is <adsHeader>), a
// Sentinel-1 orbit file (root <Earth_Explorer_File>), a SAFE product's
// manifest (root <XFDU>, with any prefix), a TerraSAR-X or TanDEM-X main
// annotation (root <level1Product>), ICEYE metadata (root <Metadata> with
// an <Orbit_State_Vectors> element in head), an RCM product.xml (root
// <product> whose first element is <productId>), a SAOCOM annotation (root
// <SAOCOM_XMLProduct>), any other XML (other_xml), or none of these.
enum class XmlProductKind {
  none,
  s1_annotation,
  s1_orbit_file,
  s1_manifest,
  tsx_annotation,
  iceye_metadata,
  rcm_product,
  saocom_annotation,
  other_xml,
};

// The kind that head (the first bytes of a file, any number of them) shows:
// an XML declaration, comments, processing instructions and a document type
// may come before the root. none for text that starts no element and for a
// head cut off before what tells the kind.
XmlProductKind xml_product_kind(std::string_view head);

// The root element's name (with its prefix, if any) and its default
// namespace (the xmlns attribute's value, "" for none) in head, for a
// message about XML of no known kind; empty names when head starts no element.
struct XmlRoot {
  std::string name, name_space;
};
XmlRoot xml_root_of(std::string_view head);

// xml_product_kind of the first xml_sniff_bytes of the file at path; none
// when it cannot be opened or is no regular file.
XmlProductKind xml_product_kind_of_file(const std::string& path);

}  // namespace bperp::stack
