// What the plot needs with or without cairo: the format of a file name and
// the layout of a stack's plot.
#include "bperp/stack/outputs/baseline_plot.h"

#include <cmath>

#include "bperp/io/ascii_text.h"

namespace bperp::stack {

const char* const plot_library_package = "libcairo2-dev";

std::optional<PlotFormat> plot_format_of(const std::string& path) {
  constexpr std::size_t suffix = 4;
  if (path.size() <= suffix) return std::nullopt;
  const std::string tail = lower(path.substr(path.size() - suffix));
  if (tail == ".svg") return PlotFormat::svg;
  if (tail == ".pdf") return PlotFormat::pdf;
  if (tail == ".png") return PlotFormat::png;
  return std::nullopt;
}

PlotLayout stack_plot_layout(const std::vector<NetworkPoint>& points, const PairNetwork& network,
                             const Connectivity* parts, const std::string& convention, const PlotSize& size) {
  PlotContent content;
  content.points = &points;
  content.pair_count = network.count();
  content.shaded = std::isfinite(network.model().critical_baseline());
  content.parts = parts;
  content.convention = convention;
  return lay_out_plot(content, width_points(size), height_points(size), plot_text_measure());
}

}  // namespace bperp::stack
