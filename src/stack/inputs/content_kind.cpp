#include "bperp/stack/inputs/content_kind.h"

#include <cstdio>
#include <vector>

namespace bperp::stack {

const char* const kinds_read =
    "bperp-stack reads state-vector and orbit files (numbers), Sentinel-1 annotations, SAFE folders, "
    "their zips and manifest.safe, image parameter files (*_slc.par, *_mli.par), HDF5 products (OPERA), "
    "TerraSAR-X and TanDEM-X annotations, ICEYE XML metadata, RCM product.xml and Capella extended "
    "metadata (JSON)";

namespace {

// Bytes shown of a binary file.
constexpr std::size_t shown_bytes = 8;
// Keys listed of a key: value file.
constexpr std::size_t listed_keys = 3;

// The key of a "key: value" line (a letter, then letters, digits, '_',
// '(', ')' or '-' up to a colon), or "" when line is no such line.
std::string_view key_of(std::string_view line) {
  const auto key_char = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '(' ||
           c == ')' || c == '-';
  };
  if (line.empty() || !((line[0] >= 'a' && line[0] <= 'z') || (line[0] >= 'A' && line[0] <= 'Z'))) return {};
  std::size_t i = 0;
  while (i < line.size() && key_char(line[i])) ++i;
  return i < line.size() && line[i] == ':' ? line.substr(0, i) : std::string_view{};
}

// The first count non-empty lines of head (the last one maybe cut short).
std::vector<std::string_view> first_lines(std::string_view head, std::size_t count) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < head.size() && lines.size() < count) {
    std::size_t end = head.find('\n', start);
    if (end == std::string_view::npos) end = head.size();
    std::string_view line = head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string unrecognised_content(std::string_view head) {
  if (head.find('\0') != std::string_view::npos) {
    std::string hex;
    for (std::size_t i = 0; i < head.size() && i < shown_bytes; ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, "%s%02x", i == 0 ? "" : " ", static_cast<unsigned char>(head[i]));
      hex += byte;
    }
    return "it is binary data (its first bytes: " + hex + ")";
  }
  const std::vector<std::string_view> lines = first_lines(head, listed_keys);
  if (lines.size() < 2 || key_of(lines[0]).empty() || key_of(lines[1]).empty()) return {};
  std::string keys;
  for (const std::string_view line : lines)
    if (const std::string_view key = key_of(line); !key.empty()) keys += (keys.empty() ? "" : ", ") + std::string(key);
  return "it is text of key: value lines (" + keys +
         ", ...), but no image parameter file (which has a date: and a number_of_state_vectors: line)";
}

}  // namespace bperp::stack
