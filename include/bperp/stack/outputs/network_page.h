// The pair network as one self-contained interactive page: the plot of
// plot_layout.h drawn by the page's own script, the acquisitions and the
// candidate pairs embedded as JSON, nothing fetched when it is viewed.
// Hovering shows an acquisition's or a pair's numbers, a click drops a
// pair, a point clicked and another shift-clicked add theirs, sliders
// tighten the limits over the candidates, the connectivity follows, and a
// button downloads the pairs shown as the CSV of --export pairs. The page
// only filters the numbers embedded: it computes no baseline or coherence.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// The most candidate pairs a page embeds; with more, it holds the network
// alone.
inline constexpr std::size_t page_candidate_limit = 200000;

// The limits of limits that make candidates (--max-perp, --max-days,
// --min-coherence), without the choosers and additions.
PairLimits candidate_limits(const PairLimits& limits);

// What a page shows.
struct PageContent {
  const std::vector<NetworkPoint>* points = nullptr;  // in the convention shown
  const PairNetwork* network = nullptr;               // the pairs chosen, over points
  const PairNetwork* candidates = nullptr;            // over points; null: the network alone
  const PairNetwork* export_network = nullptr;        // the same points in this tool's own convention (its
                                                      // points and model: the CSV's values)
  double sign = 1.0;          // the convention shown's perpendicular sign against this tool's
  std::string convention;     // "bperp's", "ISCE's", "GAMMA's"
  PairLimits limits;          // the limits the candidates were chosen with (the sliders' ends)
  bool paths = false;         // names with their folders
};

// Writes the page to out; false (with *problem) on a write error.
bool write_network_page(std::FILE* out, const PageContent& content, std::string* problem);

}  // namespace bperp::stack
