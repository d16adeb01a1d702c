// The command line's options through CLI11: only those the line names are
// declared to it, so that a line of a few options costs less than a run on
// one pair.
#include "bperp/stack/command/command_line.h"

#include <algorithm>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "bperp/stack/command/option_table.h"
#include "bperp/stack/support/escape.h"
#include "bperp/version.h"

namespace bperp::stack {

namespace {

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

}  // namespace

int read_command_line(int argc, const char* const* argv, StackRequest& request, std::FILE* out, std::FILE* err) {
  CLI::App app{help_description, program_name};
  std::deque<Given> given;  // one per declared option, in the table's order; bound by reference
  declare_options(app, given, request, argc, argv);
  if (const int status = parse(app, argc, argv, out, err); status >= 0) return status;
  if (!needs_met(given, err) || !apply_options(given, request, err)) return 1;
  return -1;
}

}  // namespace bperp::stack
