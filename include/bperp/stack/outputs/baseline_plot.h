// The baseline-time plot of a stack drawn with cairo, one drawing for three
// files: SVG and PDF (vector, the size in points) and PNG (raster). Every
// acquisition a point at (date, perpendicular baseline) labelled with its
// date where there is room, the reference ringed, the pairs as lines shaded
// by their modelled coherence, the axes, the legend and the title as
// plot_layout.h lays them out. Text in DejaVu Sans, found through
// fontconfig, without hinting, so that the same input draws the same file.
// cairo is loaded only when a plot is drawn or measured (bperp-cairo.so);
// in a build without cairo nothing is drawn (plot_drawing_problem()).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "bperp/stack/network/connectivity.h"
#include "bperp/stack/network/pairs.h"
#include "bperp/stack/outputs/plot_layout.h"

namespace bperp::stack {

enum class PlotFormat { svg, pdf, png };

// The format a file name's extension asks for (.svg, .pdf, .png, any case);
// nullopt for any other name.
std::optional<PlotFormat> plot_format_of(const std::string& path);

// Why no plot can be drawn, as what --plot needs ("cairo, which this
// bperp-stack was built without (Debian package ...)", or "cairo, and" the
// module's problem when it can't be loaded); "" when plots are drawn.
std::string plot_drawing_problem();

// The Debian package that a build without cairo lacks, for messages.
extern const char* const plot_library_package;

// A measure of text in the font the plots are drawn with (each measure
// its own cairo context: measures may be used on several threads at once);
// the estimate (estimated_text_metrics) in a build without cairo, or when
// its module can't be loaded.
MeasureText plot_text_measure();

// The layout of a stack's plot on a picture of size: its points (every one
// dated), its network's pairs (shaded when the network's model has a
// critical baseline), its parts and the words of its convention.
PlotLayout stack_plot_layout(const std::vector<NetworkPoint>& points, const PairNetwork& network,
                             const Connectivity* parts, const std::string& convention, const PlotSize& size);

// Draws the plot of points and network on a picture of size into out, in
// format; a PDF carries the creation date 2000-01-01 whatever the day.
// false and *problem when cairo fails (out of memory, a write error of out).
bool write_baseline_time_plot(std::FILE* out, PlotFormat format, const PlotSize& size,
                              const std::vector<NetworkPoint>& points, const PairNetwork& network,
                              const Connectivity* parts, const std::string& convention, std::string* problem);

}  // namespace bperp::stack
