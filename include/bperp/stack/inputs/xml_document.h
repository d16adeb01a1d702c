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
#include <optional>
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

// Sets *problem to "<path> is <value> <unit>; <why>".
void xml_bound_problem(pugi::xml_node node, std::string_view path, double value, const char* unit,
                       const std::string& why, std::string* problem);

// The number at path (in unit: "Hz", "m") when bound(value), a product
// bound's problem function (product_bounds.h), says nothing against it;
// nullopt and *problem set, naming the path, the value and the bound,
// otherwise.
template <typename Bound>
std::optional<double> xml_bounded_number(pugi::xml_node node, std::string_view path, const char* unit, Bound bound,
                                         std::string* problem) {
  const std::optional<double> v = xml_number(node, path, problem);
  if (!v) return std::nullopt;
  if (const std::string why = bound(*v); !why.empty()) {
    xml_bound_problem(node, path, *v, unit, why, problem);
    return std::nullopt;
  }
  return v;
}

// The text at path in upper case when it is not empty; nullopt and
// *problem set otherwise.
std::optional<std::string> xml_word(pugi::xml_node node, std::string_view path, std::string* problem);

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

// A product reader of a loaded document: the product, or nullopt and *why
// set (without the document's name).
using XmlProductReader = std::optional<ProductInfo> (*)(const XmlDocument& doc, std::string* why);

// The product read gives of the XML file at path (at most max_xml_bytes):
// nullopt and *problem set, starting with path, when load_xml_file refuses
// the file (its kind) or read does (malformed).
std::optional<ProductInfo> read_xml_product(const std::string& path, XmlProductReader read, Refusal* problem);

// The same for a document held in bytes, named name in the messages.
std::optional<ProductInfo> parse_xml_product(std::string_view bytes, const std::string& name, XmlProductReader read,
                                             std::string* problem);

// What the first bytes of a file say it is: a Sentinel-1 product
// annotation (root <product> whose first element is <adsHeader>), a
// Sentinel-1 orbit file (root <Earth_Explorer_File>), a SAOCOM annotation
// (root <SAOCOM_XMLProduct>), or none of them.
enum class XmlProductKind { none, s1_annotation, s1_orbit_file, saocom_annotation };

// The kind that head (the first bytes of a file, any number of them) shows:
// an XML declaration, comments, processing instructions and a document type
// may come before the root. none for anything else and for a head cut off
// before the root's first child.
XmlProductKind xml_product_kind(std::string_view head);

// xml_product_kind of the first xml_sniff_bytes of the file at path; none
// when it cannot be opened or is no regular file.
XmlProductKind xml_product_kind_of_file(const std::string& path);

}  // namespace bperp::stack
