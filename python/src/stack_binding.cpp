// bperp.stack() in the compiled module: the request built from the
// keywords, the inputs (files, or orbits and state vectors made in memory),
// the run of the library without the GIL, and what the package reads of it.
#include "stack_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bperp/numeric/units.h"
#include "bperp/stack/command/request_run.h"
#include "bperp/stack/inputs/orbit_rows.h"
#include "bperp/stack/support/escape.h"
#include "bperp/stack/support/utc_time.h"
#include "python_support.h"
#include "stack_request.h"
#include "stack_result.h"

namespace bperp::python {

using namespace bperp::stack;

namespace {

// Why a stack() call gave no results: the refusal kind's name, the text
// (naming the keywords), the file concerned and its errno when a file
// could not be used, and whether a split network ended it.
struct Failure {
  std::string kind;
  std::string text;
  std::string path;
  int error = 0;
  bool split_network = false;
};

// One stack() call: the request, its inputs and its run, kept for the
// arrays, the exports and the plot made of it later.
struct StackCall {
  StackRequest request;
  RunInputs inputs{StackInput(std::string()), {}};
  std::unique_ptr<RequestRun> run = std::make_unique<RequestRun>();
  std::unique_ptr<GridArrays> grid;  // with a grid: its arrays, made as it was gone over
  std::optional<Failure> failure;
  std::optional<Failure> output_failure;  // a plot or export of the keywords not written
};

// A failure of kind with text, for the file path when one is concerned:
// an OSError's errno when that file can't be opened, or for one that opens
// but can't be read (a folder that is no product: EISDIR; else EIO).
Failure failure_of(RefusalKind kind, const std::string& text, const std::string& path = {}) {
  Failure f{std::string(refusal_kind_name(kind)), keyword_text(text), path};
  if (path.empty() || (kind != RefusalKind::unreadable && kind != RefusalKind::malformed)) return f;
  f.error = open_error_of(path);
  if (f.error == 0 && kind == RefusalKind::unreadable) {
    struct stat s;
    f.error = ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode) ? EISDIR : EIO;
  }
  if (f.error != 0) f.kind = refusal_kind_name(RefusalKind::unreadable);
  return f;
}

// The first of the request's output paths whose folder can't take a file,
// or that can't be replaced, with the errno why; nullopt when all can (the
// problem is then another).
std::optional<std::pair<std::string, int>> unwritable_output(const StackRequest& request) {
  std::vector<std::string> paths;
  if (!request.plot.empty()) paths.push_back(request.plot);
  if (!request.html.empty()) paths.push_back(request.html);
  for (const Export& e : request.exports) paths.push_back(e.path);
  for (const std::string& path : paths) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat s;
    if (::stat(folder.c_str(), &s) != 0) return std::pair{path, errno};
    if (!S_ISDIR(s.st_mode)) return std::pair{path, ENOTDIR};
    if (::access(folder.c_str(), W_OK) != 0) return std::pair{path, errno};
    // The file itself: read-only, another user's in a sticky folder, a
    // name too long.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = 0;
    const std::string problem =
        fd < 0 ? std::string()
               : replace_problem(fd, path.substr(slash == std::string::npos ? 0 : slash + 1), path, &error);
    if (fd >= 0) ::close(fd);
    if (!problem.empty() && error != EISDIR) return std::pair{path, error};
  }
  return std::nullopt;
}

// Why the request's plot and exports can't go where asked: an OSError's
// errno and path when their folder can't take them.
std::optional<Failure> output_failure(const StackRequest& request) {
  const std::string problem = output_problem(request);
  if (problem.empty()) return std::nullopt;
  Failure f = failure_of(RefusalKind::option, problem);
  if (const auto unwritable = unwritable_output(request)) {
    f.kind = refusal_kind_name(RefusalKind::unreadable);
    f.path = unwritable->first;
    f.error = unwritable->second;
  }
  return f;
}

// The numbers of a float64 array (contiguous, checked by the package).
const double* numbers_of(const py::handle& array) {
  return static_cast<const double*>(py::reinterpret_borrow<py::array>(array).data());
}

// An acquisition made in memory: ("orbit", name, times s, positions m,
// velocities m/s, epoch ns or None) or ("state_vector", name, position km,
// velocity km/s, day or None), arrays of float64 checked for shape and
// finite values by the package. Its path is its name as given.
std::shared_ptr<const Acquisition> made_acquisition(const py::tuple& made) {
  Acquisition a;
  a.path = made[1].cast<std::string>();
  a.name = escaped(a.path);
  if (made[0].cast<std::string>() == "state_vector") {
    double six[state_vector_numbers];
    for (int k = 0; k < 3; ++k) {
      six[k] = numbers_of(made[2])[k];
      six[k + 3] = numbers_of(made[3])[k];
    }
    a.kind = AcquisitionKind::state_vector;
    a.state = state_vector_from(six);
    if (!made[4].is_none()) a.day = made[4].cast<long>();
    return std::make_shared<const Acquisition>(std::move(a));
  }
  const py::array times = made[2];
  const auto rows = static_cast<std::size_t>(times.size());
  std::vector<double> numbers;
  numbers.reserve(rows * orbit_row_numbers);
  for (std::size_t r = 0; r < rows; ++r) {
    numbers.push_back(numbers_of(made[2])[r]);
    for (int k = 0; k < 3; ++k) numbers.push_back(numbers_of(made[3])[3 * r + k] / units::metres_per_km);
    for (int k = 0; k < 3; ++k) numbers.push_back(numbers_of(made[4])[3 * r + k] / units::metres_per_km);
  }
  a.kind = AcquisitionKind::orbit;
  std::string problem;
  a.orbit = orbit_from_numbers(numbers, &problem);
  if (a.orbit.empty()) {
    a.refusal = Refusal{RefusalKind::malformed, "can't use the orbit " + a.name + ": " + problem};
  } else if (!made[5].is_none()) {
    // Its date: the UTC day of the middle of its rows.
    a.epoch = UtcTime(std::chrono::nanoseconds(made[5].cast<std::int64_t>()));
    a.day = day_number(add_seconds(*a.epoch, 0.5 * (a.orbit.front().t + a.orbit.back().t)));
  }
  return std::make_shared<const Acquisition>(std::move(a));
}

// One input of stack(): a path (bytes) or a made acquisition (a tuple);
// its path for the request ("" for a made one).
StackInput input_of(const py::handle& given, std::string* path) {
  if (py::isinstance<py::tuple>(given)) {
    path->clear();
    return StackInput(made_acquisition(py::reinterpret_borrow<py::tuple>(given)));
  }
  *path = given.cast<std::string>();
  return StackInput(*path);
}

// Writes the plot and the exports of a finished run, all together or none
// (output_file.h's OutputBatch): the failure, naming the file, when one
// could not be; check asked between files (Ctrl-C: none is written).
std::optional<Failure> write_outputs(const StackRequest& request, const RequestRun& run, SignalCheck& check) {
  OutputBatch files([&check]() { return check(); });
  if (stage_outputs(files, request, run) && files.write() && files.commit())
    return std::nullopt;
  const int error = files.failed_error() != 0 ? files.failed_error() : EIO;
  return Failure{std::string(refusal_kind_name(RefusalKind::unreadable)), files.problem(), files.failed_path(),
                 error};
}

std::unique_ptr<StackCall> run_stack(const py::handle& reference, const py::list& secondaries,
                                     const py::dict& options) {
  auto call = std::make_unique<StackCall>();
  StackRequest& request = call->request;
  std::string problem;
  if (!apply_keywords(options, request, &problem)) {
    call->failure = failure_of(RefusalKind::option, problem);
    return call;
  }
  call->inputs.reference = input_of(reference, &request.reference);
  for (const py::handle& s : secondaries) {
    std::string path;
    call->inputs.secondaries.push_back(input_of(s, &path));
    request.secondaries.push_back(path);
  }
  if ((call->failure = output_failure(request))) return call;

  SignalCheck check;
  request.stack.stop_requested = [&check]() { return check(); };
  RequestRun& run = *call->run;
  {
    const py::gil_scoped_release no_gil;
    const CLocaleHere c_locale;
    run_request(request, call->inputs, run, GridPass::by_caller);
  }
  // The grid's arrays, allocated with the GIL, filled (and the grid tallied
  // when it was left to them) in one going over without it.
  if (run.finished() && run.run.grid()) {
    call->grid = std::make_unique<GridArrays>(run);
    const py::gil_scoped_release no_gil;
    const CLocaleHere c_locale;
    GridTally tally(run.run);
    const bool left = run.grid_left;
    if (!call->grid->fill(run, left ? &tally : nullptr, check)) run.run.cancelled = true;
    else if (left) finish_grid(run, tally);
  }
  if (run.finished()) {
    const py::gil_scoped_release no_gil;
    const CLocaleHere c_locale;
    call->output_failure = write_outputs(request, run, check);
  }
  request.stack.stop_requested = nullptr;
  check.rethrow();
  if (const std::optional<RunFailure>& f = call->run->failure) {
    call->failure = failure_of(f->kind, f->text, f->path);
    call->failure->split_network = f->split_network;
  }
  return call;
}

py::object failure_tuple(const std::optional<Failure>& f) {
  if (!f) return py::none();
  return py::make_tuple(f->kind, text_of(f->text), f->path.empty() ? py::object(py::none()) : file_name_of(f->path),
                        f->error, f->split_network);
}

py::list messages_of(const StackCall& call) {
  py::list list;
  for (const RunMessage& m : call.run->messages)
    list.append(py::make_tuple(m.warning, m.warning ? std::string(warning_kind_name(m.kind)) : std::string(),
                               text_of(keyword_text(m.text))));
  return list;
}

// Writes one output of a finished call, as stack() would have with that
// keyword alone: keyword is "exports" (text KIND:PATH), "plot" or "html"
// (text PATH), with the keywords of more (a dict of texts: "plot_size",
// "html_paths"; the plot's size is else the call's, the page's names
// without folders). (The failure or None, the warnings of a stack folder's
// entries left from earlier.)
py::object write_output(const StackCall& call, const std::string& keyword, const std::string& text,
                        const py::dict& more) {
  if (!call.run->finished()) throw py::value_error("this result has no run to write from");
  StackRequest request = call.request;
  request.exports.clear();
  request.plot.clear();
  request.html.clear();
  request.html_paths = false;
  py::dict options = more;
  options[py::str(keyword)] = py::make_tuple(py::bytes(text));
  std::string problem;
  if (!apply_keywords(options, request, &problem))
    return py::make_tuple(failure_tuple(failure_of(RefusalKind::option, problem)), py::list());
  if (std::optional<Failure> f = output_failure(request)) return py::make_tuple(failure_tuple(f), py::list());
  std::optional<Failure> failed;
  std::vector<std::string> notes;  // a stack folder's entries left from earlier
  SignalCheck check;
  {
    const py::gil_scoped_release no_gil;
    const CLocaleHere c_locale;
    const RequestRun& run = *call.run;
    problem = run_outputs_problem(request, run, &notes);
    if (!problem.empty()) failed = failure_of(RefusalKind::option, problem);
    else failed = write_outputs(request, run, check);
  }
  check.rethrow();
  py::list said;
  for (const std::string& n : notes) said.append(text_of(keyword_text(n)));
  return py::make_tuple(failure_tuple(failed), said);
}

}  // namespace

void register_stack(py::module_& m) {
  py::class_<StackCall>(m, "StackCall", "One run of stack(): what the package reads its arrays from")
      .def_property_readonly("failure", [](const StackCall& c) { return failure_tuple(c.failure); })
      .def_property_readonly("output_failure", [](const StackCall& c) { return failure_tuple(c.output_failure); })
      .def_property_readonly("messages", &messages_of)
      .def_property_readonly("pairs_asked", [](const StackCall& c) { return c.request.pairs; })
      .def("acquisitions", [](const StackCall& c) { return acquisition_arrays(*c.run); })
      .def("grid", [](StackCall& c) { return c.grid ? c.grid->dict() : py::dict(); })
      .def("pairs", [](const StackCall& c) {
        SignalCheck check;
        py::dict pairs = pair_arrays(*c.run, check);
        check.rethrow();
        return pairs;
      })
      .def("network", [](const StackCall& c) { return network_dict(*c.run); })
      .def("choices", [](const StackCall& c) { return choices_dict(*c.run); })
      .def("reference", [](const StackCall& c) { return reference_dict(c.request, *c.run); })
      .def("write_output", &write_output, py::arg("keyword"), py::arg("text"), py::arg("more") = py::dict());

  m.def("run_stack", &run_stack, py::arg("reference"), py::arg("secondaries"), py::arg("options"));
  m.def("options", &option_descriptions);
  m.def("secondary_columns", &secondary_column_descriptions);
  m.def("pair_columns", &pair_column_descriptions);
  m.def("refusal_kinds", []() {
    py::list list;
    for (const RefusalKindName& k : refusal_kind_names) list.append(py::make_tuple(k.name, k.meaning));
    return list;
  });
  m.def("warning_kinds", []() {
    py::list list;
    for (const WarningKindName& k : warning_kind_names) list.append(py::make_tuple(k.name, k.meaning));
    return list;
  });
}

}  // namespace bperp::python
