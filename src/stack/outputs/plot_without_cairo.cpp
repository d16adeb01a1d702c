// A build without cairo: no plot is drawn (the command refuses --plot
// before it runs), and the network page's layout measures its texts by
// estimate.
#include "bperp/stack/outputs/baseline_plot.h"

namespace bperp::stack {

std::string plot_drawing_problem() {
  return std::string("cairo, which this bperp-stack was built without (Debian package ") + plot_library_package + ")";
}

MeasureText plot_text_measure() { return estimated_text_metrics; }

bool write_baseline_time_plot(std::FILE*, PlotFormat, const PlotSize&, const std::vector<NetworkPoint>&,
                              const PairNetwork&, const Connectivity*, const std::string&, std::string* problem) {
  *problem = std::string("this bperp-stack was built without cairo (Debian package ") + plot_library_package + ")";
  return false;
}

}  // namespace bperp::stack
