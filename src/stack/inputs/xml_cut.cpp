#include "bperp/stack/inputs/xml_cut.h"

#include <array>
#include <cstring>
#include <utility>
#include <vector>

namespace bperp::stack {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
constexpr bool name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':'; }

// The bytes a name may hold after its first (ASCII only), as a table.
constexpr std::array<bool, 256> name_bytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    const char b = static_cast<char>(c);
    table[static_cast<std::size_t>(c)] = name_start(b) || (b >= '0' && b <= '9') || b == '-' || b == '.';
  }
  return table;
}();
bool name_char(char c) { return name_bytes[static_cast<unsigned char>(c)]; }

std::size_t skip_space(std::string_view t, std::size_t i) {
  while (i < t.size() && xml_space(t[i])) ++i;
  return i;
}

// The name at t[i], i moved past it; empty when no name starts there.
std::string_view name_at(std::string_view t, std::size_t& i) {
  const std::size_t first = i;
  if (i < t.size() && name_start(t[i]))
    for (++i; i < t.size() && name_char(t[i]);) ++i;
  return t.substr(first, i - first);
}

bool starts_at(std::string_view t, std::size_t i, std::string_view what) { return t.substr(i).starts_with(what); }

// The position after the first `end` at or after t[i]; npos when none.
std::size_t past(std::string_view t, std::size_t i, std::string_view end) {
  const std::size_t at = t.find(end, i);
  return at == npos ? npos : at + end.size();
}

enum class Tag { bad, open, empty };

// The rest of a start tag after its name, at t[i]: attributes (name="value"
// or name='value', no '<' in the value) each after white space, then '>'
// (open) or "/>" (empty); i moved past it.
Tag start_tag_rest(std::string_view t, std::size_t& i) {
  for (;;) {
    const std::size_t before = i;
    i = skip_space(t, i);
    if (i >= t.size()) return Tag::bad;
    if (t[i] == '>') {
      ++i;
      return Tag::open;
    }
    if (t[i] == '/') {
      if (!starts_at(t, i, "/>")) return Tag::bad;
      i += 2;
      return Tag::empty;
    }
    if (i == before || name_at(t, i).empty()) return Tag::bad;
    i = skip_space(t, i);
    if (i >= t.size() || t[i] != '=') return Tag::bad;
    i = skip_space(t, i + 1);
    if (i >= t.size() || (t[i] != '"' && t[i] != '\'')) return Tag::bad;
    const std::size_t close = t.find(t[i], i + 1);
    if (close == npos || t.substr(i + 1, close - i - 1).find('<') != npos) return Tag::bad;
    i = close + 1;
  }
}

// One piece of markup at t[lt] ('<') inside an element: a comment, a CDATA
// section, a start tag (its name pushed on open unless it is empty) or an
// end tag (which must close open's last name). The position after it, npos
// for anything else.
std::size_t past_markup(std::string_view t, std::size_t lt, std::vector<std::string_view>& open) {
  std::size_t i = lt + 1;
  const char second = i < t.size() ? t[i] : '\0';
  if (second == '!') {
    if (starts_at(t, lt, "<!--")) return past(t, lt + 4, "-->");
    if (starts_at(t, lt, "<![CDATA[")) return past(t, lt + 9, "]]>");
    return npos;
  }
  if (second == '/') {
    ++i;
    if (open.empty() || name_at(t, i) != open.back()) return npos;
    i = skip_space(t, i);
    if (i >= t.size() || t[i] != '>') return npos;
    open.pop_back();
    return i + 1;
  }
  const std::string_view name = name_at(t, i);
  if (name.empty()) return npos;
  const Tag tag = start_tag_rest(t, i);
  if (tag == Tag::bad) return npos;
  if (tag == Tag::open) open.push_back(name);
  return i;
}

// The position after the end tag of the element named name whose content
// starts at t[i]; npos when the scanner gives up.
std::size_t element_end(std::string_view t, std::size_t i, std::string_view name,
                        std::vector<std::string_view>& open) {
  open.assign(1, name);
  while (!open.empty()) {
    const std::size_t lt = t.find('<', i);
    if (lt == npos) return npos;
    i = past_markup(t, lt, open);
    if (i == npos) return npos;
  }
  return i;
}

enum class Reach { cut, enter, keep };

// What kept says of the child name of the element at path ("" the root).
Reach reach(std::span<const std::string_view> kept, std::string_view path, std::string_view name) {
  Reach r = Reach::cut;
  for (std::string_view k : kept) {
    if (!path.empty()) {
      if (!k.starts_with(path) || k.substr(path.size()).empty() || k[path.size()] != '/') continue;
      k.remove_prefix(path.size() + 1);
    }
    if (!k.starts_with(name)) continue;
    if (k.size() == name.size()) return Reach::keep;
    if (k[name.size()] == '/') r = Reach::enter;
  }
  return r;
}

// Scans the content of the entered element at path (named name), from t[i]
// to its end tag, noting the children to cut in cuts. The position after
// its end tag; npos when the scanner gives up.
std::size_t scan_entered(std::string_view t, std::size_t i, const std::string& path, std::string_view name,
                         std::span<const std::string_view> kept, std::vector<std::pair<std::size_t, std::size_t>>& cuts,
                         std::vector<std::string_view>& open) {
  for (;;) {
    const std::size_t lt = t.find('<', i);
    if (lt == npos) return npos;
    if (lt + 1 < t.size() && (t[lt + 1] == '!' || t[lt + 1] == '/')) {
      open.assign(1, name);
      i = past_markup(t, lt, open);
      if (i == npos || open.empty()) return i;  // the element's own end tag
      continue;
    }
    std::size_t j = lt + 1;
    const std::string_view child = name_at(t, j);
    if (child.empty()) return npos;
    const Tag tag = start_tag_rest(t, j);
    if (tag == Tag::bad) return npos;
    const Reach r = reach(kept, path, child);
    if (r == Reach::enter && tag == Tag::open) {
      j = scan_entered(t, j, path.empty() ? std::string(child) : path + "/" + std::string(child), child, kept, cuts,
                       open);
    } else if (tag == Tag::open) {
      j = element_end(t, j, child, open);
    }
    if (j == npos) return npos;
    if (r == Reach::cut) cuts.emplace_back(lt, j);
    i = j;
  }
}

// The position of the root element's '<' after the prolog (a byte order
// mark, white space, declarations, comments); npos for anything else.
std::size_t root_start(std::string_view t) {
  std::size_t i = starts_at(t, 0, "\xEF\xBB\xBF") ? 3 : 0;
  for (;;) {
    i = skip_space(t, i);
    if (i >= t.size() || t[i] != '<') return npos;
    if (starts_at(t, i, "<?")) {
      i = past(t, i + 2, "?>");
    } else if (starts_at(t, i, "<!--")) {
      i = past(t, i + 4, "-->");
    } else if (starts_at(t, i, "<!")) {
      return npos;  // a document type: the parser refuses the whole
    } else {
      return i;
    }
    if (i == npos) return npos;
  }
}

}  // namespace

bool cut_unread_elements(std::string_view document, std::span<const std::string_view> kept, std::string& cut) {
  std::size_t i = root_start(document);
  if (i == npos) return false;
  ++i;
  const std::string_view root = name_at(document, i);
  if (root.empty() || start_tag_rest(document, i) != Tag::open) return false;
  std::vector<std::pair<std::size_t, std::size_t>> cuts;
  std::vector<std::string_view> open;
  if (scan_entered(document, i, std::string(), root, kept, cuts, open) == npos || cuts.empty()) return false;
  std::size_t removed = 0;
  for (const auto& [first, last] : cuts) {
    if (std::memchr(document.data() + first, '\0', last - first) != nullptr) return false;
    removed += last - first;
  }
  cut.clear();
  cut.reserve(document.size() - removed);
  std::size_t from = 0;
  for (const auto& [first, last] : cuts) {
    cut.append(document.substr(from, first - from));
    from = last;
  }
  cut.append(document.substr(from));
  return true;
}

}  // namespace bperp::stack
