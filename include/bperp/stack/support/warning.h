// What a run tells the user that makes no input unusable: one kind of a
// closed list, which programs (the Python module's warning categories) tell
// apart, and one line of text for people, naming the files.
#pragma once

#include <string>
#include <string_view>

namespace bperp::stack {

enum class WarningKind {
  duplicate_file,  // a file named twice, or the reference among the secondaries: used once
  same_date,       // two acquisitions of one date
  header_date,     // a header date outside the years a SAR flew: taken as none
  orbit_file,      // an orbit file skipped, of lesser quality, or disagreeing with another
  orbit_fallback,  // a product the orbit files do not cover: its own orbit used
  polarisation,    // a product of cross-polarisations only: its first used
  look_side,       // a look side given that the product does not use
  wavelength,      // products of another wavelength than the one the run falls back on
  grid_gaps,       // a secondary without a baseline at some grid points
  split_network,   // the pair network split into parts
  same_pass,       // inputs of one pass made one acquisition, or left out as the reference's pass
  outside_image,   // a target outside the reference image's time or range span
  unused_option,   // an option that no input uses
  stale_export,    // a stack folder that keeps entries no longer in the stack
  reference_choice,  // the reference chosen by another criterion than asked (no model for it)
  page_network_only,  // more candidate pairs than the network page embeds: it holds the network alone
};

// Each kind's name (as Python shows it) and what it means, in the order of
// the enumeration.
struct WarningKindName {
  WarningKind kind;
  const char* name;
  const char* meaning;
};
inline constexpr WarningKindName warning_kind_names[] = {
    {WarningKind::duplicate_file, "duplicate_file",
     "a file named twice, or the reference among the secondaries: used once"},
    {WarningKind::same_date, "same_date", "two acquisitions of one date"},
    {WarningKind::header_date, "header_date", "a header date outside the years a SAR flew: taken as no date"},
    {WarningKind::orbit_file, "orbit_file",
     "an orbit file skipped, of lesser quality, or disagreeing with another"},
    {WarningKind::orbit_fallback, "orbit_fallback", "a product the orbit files do not cover: its own orbit used"},
    {WarningKind::polarisation, "polarisation", "a product of cross-polarisations only: its first used"},
    {WarningKind::look_side, "look_side", "a look side given that the product does not use"},
    {WarningKind::wavelength, "wavelength",
     "products of another wavelength than the one the run falls back on"},
    {WarningKind::grid_gaps, "grid_gaps", "a secondary without a baseline at some grid points"},
    {WarningKind::split_network, "split_network", "the pair network is split into parts"},
    {WarningKind::same_pass, "same_pass",
     "inputs of one pass made one acquisition, or left out as the reference's pass"},
    {WarningKind::outside_image, "outside_image", "a target outside the reference image's time or range span"},
    {WarningKind::unused_option, "unused_option", "an option that no input uses"},
    {WarningKind::stale_export, "stale_export", "a stack folder that keeps entries no longer in the stack"},
    {WarningKind::reference_choice, "reference_choice",
     "the reference chosen by another criterion than the one asked for, which had no model"},
    {WarningKind::page_network_only, "page_network_only",
     "more candidate pairs than the network page embeds: it holds the network alone"},
};

constexpr std::string_view warning_kind_name(WarningKind kind) {
  return warning_kind_names[static_cast<int>(kind)].name;
}

struct Warning {
  WarningKind kind = WarningKind::duplicate_file;
  std::string text;
};

}  // namespace bperp::stack
