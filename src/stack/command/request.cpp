#include "bperp/stack/command/request.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/io/ascii_text.h"
#include "bperp/io/file_descriptor.h"
#include "bperp/stack/command/command_line.h"
#include "bperp/stack/command/option_table.h"
#include "bperp/stack/outputs/output_file.h"
#include "bperp/stack/support/escape.h"
#include "bperp/version.h"

namespace bperp::stack {

const char* const program_name = "bperp-stack";

void print_problem(std::FILE* err, const std::string& text) {
  std::fprintf(err, "%s: %s\n", program_name, text.c_str());
}

void print_warning(std::FILE* err, const std::string& text) {
  std::fprintf(err, "%s: warning: %s\n", program_name, text.c_str());
}

void print_note(std::FILE* err, const std::string& text) {
  std::fprintf(err, "%s: note: %s\n", program_name, text.c_str());
}

namespace {

// The edit distance of a and b: the fewest insertions, deletions and
// substitutions that turn one into the other (Levenshtein).
std::size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string nearest_option(const std::string& word) {
  // Each spelling with the name it stands for.
  std::vector<std::pair<std::string, std::string>> spellings = {{"--help", "--help"}, {"--version", "--version"}};
  for (const OptionDeclaration& o : option_table()) {
    spellings.emplace_back(o.name, o.name);
    for (const std::string& alias : o.aliases) spellings.emplace_back(alias, o.name);
  }
  std::string best;
  std::size_t best_distance = std::max<std::size_t>(2, word.size() / 3) + 1;
  for (const auto& [spelling, name] : spellings)
    if (const std::size_t d = edit_distance(word, spelling); d < best_distance) {
      best = name;
      best_distance = d;
    }
  return best;
}

std::vector<std::string> StackRequest::acquisitions() const {
  std::vector<std::string> all{reference};
  all.insert(all.end(), secondaries.begin(), secondaries.end());
  return all;
}

std::vector<std::string> StackRequest::inputs() const {
  std::vector<std::string> files = secondaries;
  files.push_back(reference);
  if (!list.empty() && list != "-") files.push_back(list);
  files.insert(files.end(), orbit_files.begin(), orbit_files.end());
  if (!exclude_file.empty()) files.push_back(exclude_file);
  if (!pairs_from.empty()) files.push_back(pairs_from);
  return files;
}

void print_usage_problem(std::FILE* err, const std::string& text) {
  print_problem(err, text);
  std::fprintf(err, "Run '%s --help' for the options.\n", program_name);
}

namespace {

// The list file at path for reading, or null with errno set. Opened
// without blocking, so that a named pipe with no writer gives an empty list
// at once instead of blocking the open for ever; then read blocking, so that
// a pipe being written (a process substitution, say) is read to its end.
std::FILE* open_list(const std::string& path) {
  return open_without_waiting(path.c_str(), Reads::blocking).into_stream("rb");
}

// Whether the command line is names alone, the reference first (none of
// them begins with -): the common line, which needs no parser.
bool names_alone(int argc, const char* const* argv) {
  return argc >= 2 && std::none_of(argv + 1, argv + argc, [](const char* arg) { return arg[0] == '-'; });
}

// Appends the paths of the --list file to the secondaries; false after a
// message on err.
bool read_list(StackRequest& request, std::FILE* in, std::FILE* err) {
  if (request.list.empty()) return true;
  std::FILE* stream = request.list == "-" ? in : open_list(request.list);
  if (stream == nullptr) {
    print_problem(err, "can't open the list " + escaped(request.list) + ": " + std::strerror(errno));
    return false;
  }
  std::string problem;
  const bool read = read_path_list(stream, request.secondaries, &problem);
  if (stream != in) std::fclose(stream);
  if (!read) print_problem(err, "can't read the list " + escaped(request.list) + ": " + problem);
  return read;
}

}  // namespace

std::string clash_problem(const StackRequest& r) {
  const TargetOptions& target = r.stack.target;
  if (target.at_point && (target.at_time || target.at_range || target.height))
    return "--at-point gives the target itself: it takes no --at-time, --at-range or --height";
  if (target.burst && (target.at_point || target.at_time || target.at_range || r.stack.grid))
    return "--burst places the target at that burst's middle: it takes no --at-time, --at-range, --at-point or --grid";
  if (target.burst && !r.stack.read.swath.empty() &&
      upper(r.stack.read.swath) != parse_burst_id(*target.burst)->swath)
    return "--burst " + *target.burst + " is of swath " + parse_burst_id(*target.burst)->swath + ", --swath asks for " +
           escaped(r.stack.read.swath);
  if (std::string problem = coherence_parameters_problem(r.coherence); !problem.empty()) return problem;
  for (const Export& e : r.exports)
    if ((e.kind == ExportKind::pairs || e.kind == ExportKind::dates) && !r.pairs)
      return std::string("--export ") + (e.kind == ExportKind::pairs ? "pairs" : "dates") + " needs --pairs";
  return {};
}

std::string output_problem(const StackRequest& r) {
  const std::vector<std::string> inputs = r.inputs();
  std::vector<OutputPath> outputs;
  if (!r.plot.empty()) {
    outputs.push_back({r.plot, "the plot file " + escaped(r.plot)});
    if (std::string problem = output_path_problem(r.plot, outputs.back().name, inputs); !problem.empty())
      return problem;
  }
  if (!r.html.empty()) {
    outputs.push_back({r.html, "the page " + escaped(r.html)});
    if (std::string problem = output_path_problem(r.html, outputs.back().name, inputs); !problem.empty())
      return problem;
  }
  for (const Export& e : r.exports)
    if (std::string problem = export_path_problem(e, inputs); !problem.empty()) return problem;
  for (const Export& e : r.exports) outputs.push_back({e.path, "the export " + escaped(e.path)});
  return shared_output_problem(outputs);
}

bool read_path_list(std::FILE* stream, std::vector<std::string>& paths, std::string* problem) {
  std::string line;
  std::size_t line_number = 1;
  int c;
  const auto too_long = [&]() {
    *problem = "line " + std::to_string(line_number) + " is longer than " + std::to_string(max_list_line_bytes) +
               " bytes, which no path is";
    return false;
  };
  const auto finish_line = [&]() {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > max_list_line_bytes) return too_long();
    if (!line.empty()) paths.push_back(line);
    line.clear();
    ++line_number;
    return true;
  };
  while ((c = std::getc(stream)) != EOF) {
    if (c == '\0') {
      *problem = "it holds a NUL byte (line " + std::to_string(paths.size() + 1) + ")";
      return false;
    }
    if (c == '\n') {
      if (!finish_line()) return false;
      continue;
    }
    // One byte beyond the bound is held, for a CR that may end the line.
    if (line.size() > max_list_line_bytes) return too_long();
    line += static_cast<char>(c);
  }
  if (std::ferror(stream)) {
    *problem = std::string("read error: ") + std::strerror(errno);
    return false;
  }
  return finish_line();
}

RequestOutcome build_request(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                             std::FILE* err) {
  RequestOutcome outcome;
  StackRequest request;
  if (names_alone(argc, argv)) {
    request.reference = argv[1];
    request.secondaries.assign(argv + 2, argv + argc);
  } else if (const int status = read_command_line(argc, argv, request, out, err); status >= 0) {
    outcome.status = status;
    return outcome;
  }
  if (const std::string problem = clash_problem(request); !problem.empty()) {
    print_problem(err, problem);
    return outcome;
  }
  // The list is read only once every option has passed, and the outputs
  // are checked against every input, the listed ones too.
  if (!read_list(request, in, err)) return outcome;
  if (request.secondaries.empty() && !request.list.empty()) {
    print_usage_problem(err, "no secondaries: name at least one after the reference, or give --list");
    return outcome;
  }
  if (const std::string problem = output_problem(request); !problem.empty()) {
    print_problem(err, problem);
    return outcome;
  }
  outcome.request = std::move(request);
  return outcome;
}

}  // namespace bperp::stack
