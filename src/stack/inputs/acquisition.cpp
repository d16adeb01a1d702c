#include "bperp/stack/inputs/acquisition.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "bperp/io/file_descriptor.h"
#include "bperp/stack/inputs/capella_metadata.h"
#include "bperp/stack/inputs/ceos_leader.h"
#include "bperp/stack/inputs/content_kind.h"
#include "bperp/stack/inputs/hdf5_product.h"
#include "bperp/stack/inputs/iceye_metadata.h"
#include "bperp/stack/inputs/image_parameters.h"
#include "bperp/stack/inputs/rcm_product.h"
#include "bperp/stack/inputs/s1_annotation.h"
#include "bperp/stack/inputs/saocom_annotation.h"
#include "bperp/stack/inputs/tsx_annotation.h"
#include "bperp/stack/inputs/xml_document.h"
#include "bperp/stack/inputs/zipped_product.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/number_text.h"

namespace bperp::stack {

std::optional<long> header_date(const std::string& header_prefix, std::string* problem,
                                std::string* warning) {
  constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
  const std::string_view text =
      std::string_view(header_prefix).starts_with(byte_order_mark)
          ? std::string_view(header_prefix).substr(byte_order_mark.size())
          : std::string_view(header_prefix);
  CivilDate date;
  switch (parse_iso_date_prefix(text, &date)) {
    case DateParse::ok:
      if (date.year < first_sar_year || date.year > last_header_year) {
        if (warning != nullptr)
          *warning = "the header date " + std::string(text.substr(0, iso_date_length)) +
                     " lies outside " + std::to_string(first_sar_year) + " to " +
                     std::to_string(last_header_year) + ": taken as no date";
        return std::nullopt;
      }
      return days_from_civil(date);
    case DateParse::invalid:
      if (problem != nullptr)
        *problem = "the header starts with " + std::string(text.substr(0, iso_date_length)) +
                   ", which is not a calendar date";
      return std::nullopt;
    case DateParse::none:
      break;
  }
  return std::nullopt;
}

namespace {

// When every line after the header that holds numbers holds the same
// count of them, that count; 0 otherwise (numbers spread over lines freely).
std::size_t numbers_per_line(const NumberFile& file) {
  if (file.lines.empty()) return 0;
  std::size_t per_line = 0, run = 0;
  for (std::size_t k = 0; k < file.lines.size(); ++k) {
    ++run;
    if (k + 1 == file.lines.size() || file.lines[k + 1] != file.lines[k]) {
      if (per_line != 0 && run != per_line) return 0;
      per_line = run;
      run = 0;
    }
  }
  return per_line;
}

// Reads an acquisition file by the count rule; refusals begin with
// "can't read " + what + the file's name.
Acquisition read_acquisition(const std::string& path, const std::string& what, std::FILE* stream) {
  Acquisition a;
  a.path = path;
  a.name = escaped(path);
  // The file refused as what is read of it: no kind of file holds numbers
  // in such a count or form, or one kind matched and its content is wrong.
  const auto refused = [&](RefusalKind kind, const std::string& why) {
    a.refusal = Refusal{kind, "can't read " + what + a.name + ": " + why};
    return a;
  };
  NumberFile file;
  file.keep_lines = true;
  std::string problem;
  switch (read_numbers(stream, max_orbit_rows * orbit_row_numbers, false, max_orbit_bytes, file,
                       &problem)) {
    case FileRead::cannot_open:
      return refused(RefusalKind::unreadable, problem);
    case FileRead::refused:
      return refused(file.read_failed ? RefusalKind::unreadable : RefusalKind::unknown_format, problem);
    case FileRead::ok:
      break;
  }
  std::string date_problem, date_warning;
  a.day = header_date(file.header_prefix, &date_problem, &date_warning);
  if (!date_warning.empty()) a.warning = Warning{WarningKind::header_date, a.name + ": " + date_warning};
  if (!date_problem.empty()) {
    a.refusal = Refusal{RefusalKind::malformed, a.name + ": " + date_problem};
    return a;
  }
  if (file.numbers.size() == state_vector_numbers) {
    a.kind = AcquisitionKind::state_vector;
    a.state = state_vector_from(file.numbers.data());
    return a;
  }
  const std::size_t per_line = numbers_per_line(file);
  const bool rows_are_lines = per_line == orbit_row_numbers;
  if (per_line != 0 && per_line != orbit_row_numbers && file.numbers.size() > per_line) {
    return refused(RefusalKind::unknown_format, "the file has " + std::to_string(per_line) +
                                                   " numbers per line, an orbit row needs " +
                                                   std::to_string(orbit_row_numbers) + " (t X Y Z VX VY VZ)");
  }
  if (!file.numbers.empty() && file.numbers.size() % orbit_row_numbers == 0)
    a.kind = AcquisitionKind::orbit;
  if (a.kind == AcquisitionKind::orbit &&
      file.numbers.size() < orbit_min_rows * orbit_row_numbers) {
    const std::size_t rows = file.numbers.size() / orbit_row_numbers;
    return refused(RefusalKind::malformed, "the orbit has " + std::to_string(rows) +
                                               (rows == 1 ? " row" : " rows") +
                                               "; its interpolation needs at least " +
                                               std::to_string(orbit_min_rows));
  }
  if (file.numbers.empty() || file.numbers.size() % orbit_row_numbers != 0) {
    return refused(RefusalKind::unknown_format,
                   "it holds " + std::to_string(file.numbers.size()) + " numbers; a state vector has " +
                       std::to_string(state_vector_numbers) + ", an orbit " +
                       std::to_string(orbit_row_numbers) + " per row (t X Y Z VX VY VZ)");
  }
  if (rows_are_lines)
    for (std::size_t k = 0; k < file.lines.size(); k += orbit_row_numbers)
      a.row_lines.push_back(file.lines[k]);
  a.orbit = orbit_from_numbers(file.numbers, &problem, rows_are_lines ? &a.row_lines : nullptr);
  if (a.orbit.empty()) return refused(RefusalKind::malformed, problem);
  // A dated orbit counts its seconds from 00:00 UTC of that day; its first
  // and last rows (and so every row between) must stay within the years of
  // products, checked before any time is formed from them.
  if (a.day) {
    const UtcTime midnight = start_of_day(*a.day);
    for (const std::size_t r : {std::size_t{0}, a.orbit.size() - 1})
      if (!product_time(midnight, a.orbit[r].t))
        return refused(RefusalKind::malformed,
                       row_label(r, rows_are_lines ? &a.row_lines : nullptr) + " is at " +
                           round_trip_text(a.orbit[r].t) + " s after 00:00 of " + day_text(a.day) +
                           ", a time outside " + product_years_text());
    a.epoch = midnight;
  }
  return a;
}

// A product's record as an acquisition: its orbit, its epoch, its day (of
// the first line, else of the orbit's epoch).
Acquisition product_acquisition(const std::string& path, const std::string& read_from,
                                ProductInfo info) {
  Acquisition a;
  a.path = path;
  a.name = escaped(path);
  a.read_from = read_from;
  a.kind = AcquisitionKind::product;
  a.orbit = info.orbit.rows;
  a.epoch = info.orbit.epoch;
  a.day = day_number(acquisition_time(info));
  a.product = std::move(info);
  return a;
}

// An acquisition that is only its refusal.
Acquisition refused(const std::string& path, RefusalKind kind, std::string text) {
  Acquisition a;
  a.path = path;
  a.name = escaped(path);
  a.refusal = Refusal{kind, std::move(text)};
  return a;
}

// The refusal of a file whose content matches no input kind: what it is
// (why, raw), and the kinds read.
Acquisition unknown_kind(const std::string& path, const std::string& why) {
  return refused(path, RefusalKind::unknown_format, "can't read " + escaped(path) + ": " + why + "; " + kinds_read);
}

// A reader's refusal as an acquisition's: "can't read " and its text,
// escaped; one that found no kind it reads (unknown_format) lists the kinds
// read.
Acquisition refused_by_reader(const std::string& path, const Refusal& refusal) {
  const bool unknown = refusal.kind == RefusalKind::unknown_format;
  return refused(path, refusal.kind,
                 "can't read " + escaped(refusal.text) + (unknown ? std::string("; ") + kinds_read : ""));
}

// A product read by reader (a function of the path and *refusal), as an
// acquisition named path; read_from is the file read when it is not path.
template <typename Reader>
Acquisition product_of(const std::string& path, const std::string& read_from, Reader reader) {
  Refusal refusal;
  std::optional<ProductInfo> info = reader(read_from.empty() ? path : read_from, &refusal);
  if (!info) return refused_by_reader(path, refusal);
  return product_acquisition(path, read_from, std::move(*info));
}

// Which annotation of a SAFE product options ask for.
AnnotationWish wish_of(const ReadOptions& options) { return AnnotationWish{options.swath, options.polarisation}; }

// The SAFE product folder safe_dir (path as given: the folder, or its
// manifest.safe) as an acquisition named path: the annotation options ask
// for.
Acquisition safe_folder(const std::string& path, const std::string& safe_dir, const ReadOptions& options) {
  Refusal problem;
  std::string warning;
  const std::string annotation = safe_annotation(safe_dir, wish_of(options), &problem, &warning);
  if (annotation.empty())
    return refused(path, problem.kind,
                   "can't read the Sentinel-1 product " + escaped(path) + ": " + escaped(problem.text));
  Acquisition a = product_of(path, annotation, read_s1_annotation);
  if (!warning.empty()) a.warning = Warning{WarningKind::polarisation, escaped(warning)};
  return a;
}

// The zip archive at path: the SAFE product it holds.
Acquisition zipped(const std::string& path, const ReadOptions& options) {
  Refusal problem;
  std::optional<ZippedProduct> product = read_zipped_product(path, wish_of(options), &problem);
  if (!product) return refused_by_reader(path, problem);
  Acquisition a = product_acquisition(path, product->member, std::move(product->info));
  if (!product->warning.empty()) a.warning = Warning{WarningKind::polarisation, escaped(product->warning)};
  return a;
}

// The folder of a SAFE product's manifest.safe at path.
std::string folder_of(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// Why XML of no kind read is refused: its root element and namespace.
std::string other_xml_text(std::string_view head) {
  const XmlRoot root = xml_root_of(head);
  return "it is XML with the root element <" + root.name + ">" +
         (root.name_space.empty() ? std::string(" (no namespace)") : " (namespace " + root.name_space + ")") +
         ", which no reader takes";
}

// A stdio stream closed when it goes.
struct CloseStream {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, CloseStream>;

// The XML file at path of kind (not none), by its reader.
Acquisition xml_product(const std::string& path, XmlProductKind kind, std::string_view head, const ReadOptions& options) {
  switch (kind) {
    case XmlProductKind::s1_annotation:
      return product_of(path, "", read_s1_annotation);
    case XmlProductKind::s1_orbit_file:
      return refused(path, RefusalKind::unknown_format,
                     "can't use " + escaped(path) + " as an acquisition: it is a Sentinel-1 orbit file; give it with --orbit");
    case XmlProductKind::s1_manifest:
      return safe_folder(path, folder_of(path), options);
    case XmlProductKind::tsx_annotation:
      return product_of(path, "", read_tsx_annotation);
    case XmlProductKind::iceye_metadata:
      return product_of(path, "", read_iceye_metadata);
    case XmlProductKind::rcm_product:
      return product_of(path, "", read_rcm_product);
    case XmlProductKind::saocom_annotation:
      return product_of(path, "", read_saocom_annotation);
    case XmlProductKind::other_xml:
    case XmlProductKind::none:
      break;
  }
  return unknown_kind(path, escaped(other_xml_text(head)));
}

// The file of path by its content: one open, one look at its first bytes.
Acquisition read_any(const std::string& path, const std::string& what, const ReadOptions& options) {
  // Not waiting in the open: a named pipe without a writer reads as empty.
  FileDescriptor file = open_without_waiting(path.c_str(), Reads::blocking);
  const auto cannot_open = [&]() {
    return refused(path, RefusalKind::unreadable, "can't open " + escaped(path) + ": " + std::strerror(errno));
  };
  if (!file.is_open()) return cannot_open();
  struct stat st;
  if (::fstat(file.get(), &st) != 0) return cannot_open();
  const auto identity = std::make_pair(st.st_dev, st.st_ino);
  if (S_ISDIR(st.st_mode)) {
    Refusal problem;
    if (const std::string leader = ceos_folder_leader(path, &problem); !leader.empty()) {
      Acquisition a = product_of(path, leader, read_ceos_leader);
      a.identity = identity;
      return a;
    }
    if (!problem.text.empty())
      return refused(path, problem.kind, "can't read the CEOS product " + escaped(path) + ": " + escaped(problem.text));
    Acquisition a = safe_folder(path, path, options);
    a.identity = identity;
    return a;
  }

  // The first bytes of a regular file tell its kind (an HDF5 file's may
  // follow a user block); anything else (a pipe) is read as numbers.
  std::string head;
  if (S_ISREG(st.st_mode)) {
    head.resize(xml_sniff_bytes);
    const ssize_t n = ::pread(file.get(), head.data(), head.size(), 0);
    head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  }
  // An HDF5 product, read in the helper process.
  const auto hdf5 = [&]() {
#if defined(BPERP_HAVE_HDF5)
    return product_of(path, "", [&](const std::string& p, Refusal* problem) {
      return read_hdf5_product(p, problem, options.hdf5_orbit, options.frequency);
    });
#else
    return refused(path, RefusalKind::unknown_format,
                   "can't read " + escaped(path) +
                       ": it is an HDF5 file, and this bperp-stack was built without HDF5 (Debian package libhdf5-dev)");
#endif
  };
  // The kind told by the first bytes; the file is probed for an HDF5
  // signature after a longer user block only when they match nothing.
  Acquisition a;
  if (hdf5_signature_in_head(head)) {
    a = hdf5();
  } else if (looks_like_ceos(head)) {
    a = product_of(path, "", read_ceos_leader);
  } else if (looks_like_zip(head)) {
    a = zipped(path, options);
  } else if (const XmlProductKind kind = xml_product_kind(head); kind != XmlProductKind::none) {
    a = xml_product(path, kind, head, options);
  } else if (looks_like_json(head)) {
    a = product_of(path, "", read_capella_metadata);
  } else if (looks_like_image_parameters(head)) {
    a = product_of(path, "", read_image_parameters);
  } else if (S_ISREG(st.st_mode) && head.size() == xml_sniff_bytes && hdf5_signature_in_file(file.get())) {
    a = hdf5();
  } else if (const std::string content = unrecognised_content(head); !content.empty()) {
    a = unknown_kind(path, content);
  } else {
    const Stream stream(file.into_stream("rb"));
    if (stream == nullptr) return cannot_open();
    a = read_acquisition(path, what, stream.get());
  }
  a.identity = identity;
  return a;
}

}  // namespace

Acquisition read_secondary(const std::string& path, const ReadOptions& options) {
  return read_any(path, "", options);
}

Acquisition read_reference(const std::string& path, const ReadOptions& options) {
  // Read by the same rules as a secondary, so that an orbit file is told
  // apart instead of having its first row taken as a state vector.
  Acquisition a = read_any(path, "state vector from ", options);
  // Told by its header's date, not by its epoch: a dated orbit refused for
  // its rows (too few, times out of order) has no epoch yet keeps that
  // reason; an undated one could not serve whatever its rows.
  if (a.kind == AcquisitionKind::orbit && !a.day) {
    a.refusal = Refusal{RefusalKind::malformed,
                        "can't use " + a.name + " as the reference: it is an orbit file without a date in "
                        "its header (YYYY-MM-DD: its times are then seconds of that day, UTC); the "
                        "reference is a state vector, a product or a dated orbit"};
    a.orbit.clear();
  }
  return a;
}

std::string kind_text(const Acquisition& a) {
  switch (a.kind) {
    case AcquisitionKind::state_vector:
      return "state-vector";
    case AcquisitionKind::orbit:
      return "orbit";
    case AcquisitionKind::product:
      break;
  }
  if (a.product && a.product->format == s1_annotation_format) return "s1-annotation";
  if (a.product && a.product->format == image_parameters_format) return "parameters";
  if (a.product && a.product->format == hdf5_product_format) return "hdf5";
  if (a.product && a.product->format.starts_with(nisar_format_prefix)) return "nisar";
  if (a.product && a.product->format == tsx_annotation_format) return "tsx-annotation";
  if (a.product && a.product->format == iceye_metadata_format) return "iceye-metadata";
  if (a.product && a.product->format == rcm_product_format) return "rcm-product";
  if (a.product && a.product->format == capella_metadata_format) return "capella-metadata";
  if (a.product && a.product->format == saocom_annotation_format) return "saocom";
  if (a.product && a.product->format == ceos_leader_format) return "ceos";
  return "product";
}

std::string day_text(const std::optional<long>& day) {
  return day ? iso_date_text(civil_from_days(*day)) : std::string();
}

}  // namespace bperp::stack
