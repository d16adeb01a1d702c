// The baseline-time plot of a stack as a standalone SVG: every acquisition
// a labelled point at (date, perpendicular baseline), the reference marked,
// the selected pairs as lines between them.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"

namespace bperp::stack {

// Size of the picture, px, and the plot area inside it.
namespace plot_layout {
constexpr double width = 960.0;
constexpr double height = 600.0;
constexpr double left = 90.0;    // room for the baseline axis and its title
constexpr double right = 930.0;
constexpr double top = 80.0;     // room for the title
constexpr double bottom = 520.0; // room for the date axis
}  // namespace plot_layout

// A linear map from data values to picture coordinates.
struct AxisMap {
  double low = 0.0, high = 1.0;         // data range shown
  double pixel_low = 0.0, pixel_high = 1.0;  // where low and high go
  double operator()(double value) const {
    return pixel_low + (value - low) / (high - low) * (pixel_high - pixel_low);
  }
};

// One tick of an axis: its data value and its label.
struct Tick {
  double value = 0.0;
  std::string label;
};

// Date ticks (day numbers) between low and high: the first days of months,
// every 1, 2, 3 or 6 months (from January) for spans up to six years, or of
// years, every 1, 2, 5, 10 ... years beyond; at most about 12 ticks. Labels
// "YYYY-MM" for months, "YYYY" for years.
std::vector<Tick> date_ticks(double low, double high);

// Baseline ticks (m) between low and high at a round step (1, 2 or 5 times
// a power of ten) giving about six ticks; labels without needless decimals.
std::vector<Tick> baseline_ticks(double low, double high);

// Writes the SVG document to out, the pairs' lines as the network
// enumerates them. Every point needs a date (points without one are left
// out). The reference's name goes in the title.
// The points of a split network (parts, when given) take a colour a part
// for the first eight parts (none the colour of a secondary or of the
// reference), one colour together for the rest, with a legend under the
// date axis that wraps onto further rows ("... and N more parts" for the
// rest; the picture grows to hold it); the pairs' lines are shaded by their
// modelled coherence when the network's model has one. sign, when not
// empty, names the sign convention of the baselines under the title
// ("in ISCE's sign").
void write_baseline_time_svg(std::FILE* out, const std::vector<NetworkPoint>& points,
                             const PairNetwork& network, const Connectivity* parts = nullptr,
                             const std::string& sign = {});

// The short name of a path: the file name without directory and extension.
std::string short_name(const std::string& path);

// text with &, <, >, " and ' written as XML entities. The names it is
// given are escaped already (support/escape.h), so they hold no byte that
// XML cannot.
std::string xml_text(const std::string& text);

}  // namespace bperp::stack
