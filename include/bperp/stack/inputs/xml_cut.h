// Cutting out of an XML product's bytes, before they are parsed, the
// elements its reader never reads (a Sentinel-1 annotation's antenna
// pattern and geolocation grid are two thirds of its bytes), so that the
// parser builds only what is used.
//
// The scanner knows start and end tags (attributes in quotes), comments,
// CDATA sections and a prolog of declarations and comments; it never
// expands an entity. It is stricter than the parser: the bytes it cuts are
// whole elements the parser would take too, so the document without them
// parses exactly when the whole one does. Whenever it meets anything else
// (a document type, a processing instruction inside the root, a NUL byte
// in what it would cut, tags that do not match) it cuts nothing.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace bperp::stack {

// Writes into cut the bytes of document without the elements below its
// root that no path of kept reaches: an element is kept whole when its path
// below the root ("generalAnnotation/orbitList") is one of kept, entered
// (its tags and text kept, its children judged the same way) when its path
// begins one of kept, and cut otherwise. Text between elements stays.
// False (cut unchanged) when nothing is cut or the scanner gave up.
bool cut_unread_elements(std::string_view document, std::span<const std::string_view> kept, std::string& cut);

}  // namespace bperp::stack
