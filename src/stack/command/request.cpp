#include "bperp/stack/command/request.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "bperp/io/ascii_text.h"
#include "bperp/io/file_descriptor.h"
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

namespace {

// A misuse of the command line: the problem, then where to look.
void print_usage_problem(std::FILE* err, const std::string& text) {
  print_problem(err, text);
  std::fprintf(err, "Run '%s --help' for the options.\n", program_name);
}

// The list file at path for reading, or null with errno set. Opened
// without blocking, so that a named pipe with no writer gives an empty list
// at once instead of blocking the open for ever; then read blocking, so that
// a pipe being written (a process substitution, say) is read to its end.
std::FILE* open_list(const std::string& path) {
  return open_without_waiting(path.c_str(), Reads::blocking).into_stream("rb");
}

// The hint for names (escaped) that begin with - but are no option.
void dashed_name_hint(const std::string& names, std::FILE* err) {
  print_problem(err, names + " is no option; use -- before names that begin with - (" + program_name +
                         " [OPTIONS] -- REFERENCE SECONDARY...)");
}

// The first argument before "--" that starts with -h but is longer (-h.txt,
// -hx), which the parser takes for the help flag; empty when there is none.
std::string help_lookalike(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() > 2 && arg.starts_with("-h")) return std::string(arg);
  }
  return {};
}

// The arguments that look like options but are none of the app's: an
// option mistyped, or a file named -x.txt, say.
std::vector<std::string> unknown_dashed(const CLI::App& app, int argc, const char* const* argv) {
  std::vector<std::string> unknown;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.substr(0, arg.find('='));
    if (name == "-h" || name == "--help" || name == "--version") continue;
    if (app.get_option_no_throw(name) != nullptr) continue;
    unknown.push_back(arg);
  }
  return unknown;
}

// What to say of the unknown dashed arguments, one message: the option
// meant where one is near ("did you mean --max-perp?"), else a hint to put
// file names that begin with - after --.
void unknown_options_message(const std::vector<std::string>& unknown, std::FILE* err) {
  std::string names;
  for (const std::string& arg : unknown) names += (names.empty() ? "" : ", ") + escaped(arg);
  const std::string first = unknown.front().substr(0, unknown.front().find('='));
  if (const std::string near = first.starts_with("--") ? nearest_option(first) : std::string(); !near.empty()) {
    print_problem(err, (unknown.size() == 1 ? "no option " : "no options ") + names + "; did you mean " + near +
                           "?");
    return;
  }
  dashed_name_hint(names, err);
}

// What the parser found for one declared option: whether a flag was given,
// the text of an option given once, the texts of a repeatable one.
struct Given {
  const OptionDeclaration* declaration = nullptr;
  CLI::Option* option = nullptr;
  bool flag = false;
  std::string text;
  std::vector<std::string> texts;

  // The texts given, as the command line has them ("" for a flag given).
  std::vector<std::string> values() const {
    if (option->count() == 0) return {};
    if (declaration->type == ValueType::flag) return flag ? std::vector<std::string>{""} : std::vector<std::string>{};
    return declaration->repeatable ? texts : std::vector<std::string>{text};
  }
};

// Adds option o to the parser, its values to go to given.
void add_declared(CLI::App& app, const OptionDeclaration& o, Given& given) {
  given.declaration = &o;
  std::string names = o.name;
  for (const std::string& alias : o.aliases) names += "," + alias;
  if (o.type == ValueType::flag) {
    given.option = app.add_flag(names, given.flag, o.help);
    return;
  }
  CLI::Option* option =
      o.repeatable ? app.add_option(names, given.texts, o.help) : app.add_option(names, given.text, o.help);
  if (!o.type_name.empty()) option->type_name(o.type_name);
  if (o.repeatable) option->allow_extra_args(false)->expected(1)->take_all();
  if (!o.choices.empty()) option->check(CLI::IsMember(o.choices));
  if (o.form != nullptr) option->check(CLI::Validator(o.form, ""));
  given.option = option;
}

// Whether the command line names option o (as --name or --name=VALUE,
// before any "--"): only those are declared to the parser, since declaring
// all of them costs more than a run on one pair. An option the line does
// not name would only read as not given; one it names but misspells stays
// unknown either way, and --help is made from the whole table.
bool named(const OptionDeclaration& o, int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (!arg.starts_with("--")) continue;
    const std::string_view name = arg.substr(0, arg.find('='));
    if (name == o.name || std::find(o.aliases.begin(), o.aliases.end(), name) != o.aliases.end()) return true;
  }
  return false;
}

// The parser of the command line: the options of the table that it names,
// in the table's order, then the reference and the secondaries (into
// request).
void declare_options(CLI::App& app, std::deque<Given>& given, StackRequest& request, int argc,
                     const char* const* argv) {
  app.footer(help_footer);
  app.set_version_flag("--version", std::string(program_name) + " " + BPERP_VERSION, "print the version and exit");
  // A command line of names alone (the common one) needs no table at all.
  const bool dashed = std::any_of(argv + std::min(argc, 1), argv + argc,
                                  [](const char* arg) { return std::string_view(arg).starts_with("--"); });
  if (dashed)
    for (const OptionDeclaration& o : option_table())
      if (named(o, argc, argv)) add_declared(app, o, given.emplace_back());
  app.add_option("REFERENCE", request.reference,
                 "the reference: a state-vector, dated orbit, Sentinel-1, parameter, HDF5, TerraSAR-X, ICEYE, "
                 "RCM, Capella or SAOCOM file, or a CEOS leader")
      ->required();
  app.add_option("SECONDARY", request.secondaries,
                 "the secondaries: files of those kinds or orbit files (none, one or more, or --list)");
}

// Parses the command line; -1 to go on, else the exit status after --help,
// --version (on out) or a usage problem (on err).
int parse(CLI::App& app, int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // A name such as -h.txt reads as -h followed by more short flags: a
    // file meant, not the help.
    if (const std::string name = help_lookalike(argc, argv); !name.empty()) {
      dashed_name_hint(escaped(name), err);
      return 1;
    }
    std::fputs(help_text().c_str(), out);
    return 0;
  } catch (const CLI::CallForVersion& e) {
    std::fprintf(out, "%s\n", e.what());
    return 0;
  } catch (const CLI::ParseError& e) {
    // Unknown options are said once, with the one meant where it is near;
    // the parser's own words for other misuse.
    const std::vector<std::string> unknown = unknown_dashed(app, argc, argv);
    if (unknown.empty() || dynamic_cast<const CLI::ExtrasError*>(&e) == nullptr)
      print_problem(err, escaped(e.what()));
    if (!unknown.empty()) unknown_options_message(unknown, err);
    std::fprintf(err, "Run '%s --help' for the options.\n", program_name);
    return 1;
  }
  return -1;
}

// Whether every option given has what it needs (--max-perp needs --pairs,
// or an option that implies it); false after a message on err.
bool needs_met(const std::deque<Given>& given, std::FILE* err) {
  const auto is_given = [&](const OptionDeclaration& o) {
    for (const Given& g : given)
      if (g.declaration == &o) return g.option->count() > 0;
    return false;
  };
  for (const Given& g : given)
    if (g.option->count() > 0 && !need_met(*g.declaration, is_given)) {
      print_usage_problem(err, g.declaration->name + " requires " + g.declaration->needs);
      return false;
    }
  return true;
}

// Puts every option given into request, in the table's order; false after
// a message on err. An option given an empty text (--max-length '') would
// otherwise read as not given at all, and its default be used without a
// word: every such is refused first.
bool apply_options(const std::deque<Given>& given, StackRequest& request, std::FILE* err) {
  for (const Given& g : given)
    if (g.declaration->type != ValueType::flag)
      for (const std::string& text : g.option->results())
        if (text.empty()) {
          print_usage_problem(err, g.declaration->name + " needs a value, not an empty text");
          return false;
        }
  for (const Given& g : given)
    for (const std::string& text : g.values()) {
      std::string problem;
      if (!g.declaration->apply(*g.declaration, text, request, &problem)) {
        print_problem(err, problem);
        return false;
      }
    }
  return true;
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
  CLI::App app{help_description, program_name};
  std::deque<Given> given;  // one per declared option, in the table's order; bound by reference
  declare_options(app, given, request, argc, argv);
  if (const int status = parse(app, argc, argv, out, err); status >= 0) {
    outcome.status = status;
    return outcome;
  }
  if (!needs_met(given, err) || !apply_options(given, request, err)) return outcome;
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
