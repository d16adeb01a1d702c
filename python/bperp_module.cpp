// The Python module bperp: the baseline of two passes, the baselines of a
// stack and what an input file holds, from Python, with numpy arrays out.
// Every number comes from the C++ library, computed as the executables
// compute it.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bperp/io/file_descriptor.h"
#include "bperp/io/state_vector_file.h"
#include "bperp/baseline/baseline_run.h"
#include "bperp/stack/command/option_table.h"
#include "bperp/stack/command/stack_command.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/numeric/units.h"
#include "bperp/stack/support/utc_time.h"
#include "bperp/version.h"

namespace py = pybind11;

namespace {

// A path given as str, bytes or os.PathLike, as the bytes os.fsencode
// makes of it (so names that are not valid UTF-8 pass unchanged); TypeError
// for other types, ValueError for a NUL byte (as open() does).
std::string path_of(const py::handle& object, const char* what) {
  if (!py::isinstance<py::str>(object) && !py::isinstance<py::bytes>(object) && !py::hasattr(object, "__fspath__"))
    throw py::type_error(std::string(what) + " must be a path (str, bytes or os.PathLike), not " +
                         py::str(py::type::of(object)).cast<std::string>());
  const py::object encoded = py::module_::import("os").attr("fsencode")(object);
  std::string path = encoded.cast<std::string>();
  if (path.find('\0') != std::string::npos)
    throw py::value_error(std::string(what) + " holds an embedded null byte");
  return path;
}

// True for a path argument (str, bytes, os.PathLike).
bool is_path(const py::handle& object) {
  return py::isinstance<py::str>(object) || py::isinstance<py::bytes>(object) || py::hasattr(object, "__fspath__");
}

// True for a Python or numpy number that is not a bool (True is no number
// of kilometres).
bool is_number(const py::handle& object) {
  return !py::isinstance<py::bool_>(object) && PyNumber_Check(object.ptr()) == 1 &&
         !py::isinstance<py::str>(object) && !py::isinstance<py::bytes>(object) &&
         (PyIndex_Check(object.ptr()) == 1 || py::hasattr(object, "__float__"));
}

// text as a Python str: UTF-8, with any byte that is not shown as \xhh (a
// file name may hold any byte).
py::str text_of(const std::string& text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "backslashreplace"));
}

// Raises OSError (FileNotFoundError and the like, by errno) with the
// command's message; its filename is the path as os.fsdecode gives it.
[[noreturn]] void raise_os_error(int error, const std::string& message, const std::string& path) {
  const py::object name = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<py::ssize_t>(path.size())));
  const py::object e = py::reinterpret_steal<py::object>(
      PyObject_CallFunction(PyExc_OSError, "iOO", error, text_of(message).ptr(), name.ptr()));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
  throw py::error_already_set();
}

// Raises ValueError with message (which may quote a file name of any bytes).
[[noreturn]] void raise_value_error(const std::string& message) {
  PyErr_SetObject(PyExc_ValueError, text_of(message).ptr());
  throw py::error_already_set();
}

// 0 when path can be opened for reading (a file or a folder), else the
// errno of the attempt.
int open_error_of(const std::string& path) {
  errno = 0;
  const bperp::FileDescriptor file = bperp::open_without_waiting(path.c_str(), bperp::Reads::non_blocking);
  if (!file.is_open()) return errno != 0 ? errno : EIO;
  return 0;
}

std::string without_final_newline(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A state vector from a file (km, km/s) or six numbers.
bperp::StateVector state_vector(const py::handle& given, const char* what, std::string* name) {
  if (is_path(given)) {
    const std::string path = path_of(given, what);
    *name = path;
    bperp::NumberFile file;
    std::string problem;
    switch (bperp::read_number_file(path.c_str(), bperp::state_vector_numbers, true,
                                    bperp::max_state_vector_bytes, file, &problem)) {
      case bperp::FileRead::cannot_open:
        raise_os_error(file.open_error, "can't open " + path, path);
      case bperp::FileRead::refused:
        raise_value_error("can't read state vector from " + path + "\n  " + problem);
      case bperp::FileRead::ok:
        break;
    }
    return bperp::state_vector_from(file.numbers.data());
  }
  if (!py::isinstance<py::sequence>(given) || py::len(given) != bperp::state_vector_numbers)
    throw py::type_error(std::string(what) +
                         " must be a path or a sequence of six numbers (X Y Z km, VX VY VZ km/s)");
  double six[bperp::state_vector_numbers];
  const py::sequence s = py::reinterpret_borrow<py::sequence>(given);
  for (std::size_t i = 0; i < bperp::state_vector_numbers; ++i) {
    if (!is_number(s[i]))
      throw py::type_error(std::string(what) + " holds a " +
                           py::str(py::type::of(s[i])).cast<std::string>() + " where a number belongs");
    six[i] = py::float_(s[i]).cast<double>();
  }
  *name = "<" + std::string(what) + ">";
  return bperp::state_vector_from(six);
}

const char* status_text(bperp::RunStatus status) {
  switch (status) {
    case bperp::RunStatus::ok: return "ok";
    case bperp::RunStatus::not_finite_input: return "not_finite_input";
    case bperp::RunStatus::no_cross_track: return "no_cross_track";
    case bperp::RunStatus::inside_earth: return "inside_earth";
    case bperp::RunStatus::beam_misses_earth: return "beam_misses_earth";
    case bperp::RunStatus::no_start_angle: return "no_start_angle";
    case bperp::RunStatus::not_converged: return "not_converged";
    case bperp::RunStatus::not_located: return "not_located";
    case bperp::RunStatus::not_finite_result: return "not_finite_result";
  }
  return "unknown";
}

// One value of the JSON document as a Python object.
py::object to_python(const nlohmann::ordered_json& j) {
  switch (j.type()) {
    case nlohmann::ordered_json::value_t::null: return py::none();
    case nlohmann::ordered_json::value_t::boolean: return py::bool_(j.get<bool>());
    case nlohmann::ordered_json::value_t::number_integer: return py::int_(j.get<long long>());
    case nlohmann::ordered_json::value_t::number_unsigned: return py::int_(j.get<unsigned long long>());
    case nlohmann::ordered_json::value_t::number_float: return py::float_(j.get<double>());
    case nlohmann::ordered_json::value_t::string: return py::str(j.get<std::string>());
    case nlohmann::ordered_json::value_t::array: {
      py::list list;
      for (const auto& e : j) list.append(to_python(e));
      return list;
    }
    case nlohmann::ordered_json::value_t::object: {
      py::dict dict;
      for (const auto& [k, v] : j.items()) dict[py::str(k)] = to_python(v);
      return dict;
    }
    default: return py::none();
  }
}

enum class Column { date, time, number, text };

// The members that hold text even where every row has null there (error
// is null in every row of a stack with no failure; orbit_source in a stack
// of state vectors).
bool text_member(const std::string& key) {
  static const char* const text_keys[] = {"name", "kind", "error", "error_kind", "first", "second", "mission",
                                          "pass", "swath", "polarisation", "look_side", "note"};
  for (const char* k : text_keys)
    if (key == k) return true;
  return key.ends_with("_source");
}

// How member key of rows becomes an array: dates and times by their names,
// text where any row holds text or the member is a text one, else numbers.
Column column_of(const std::string& key, const nlohmann::ordered_json& rows) {
  if (key == "date" || key.ends_with("_date")) return Column::date;
  if (key.ends_with("_time")) return Column::time;
  if (text_member(key)) return Column::text;
  for (const auto& r : rows)
    if (r.contains(key) && r.at(key).is_string()) return Column::text;
  return Column::number;
}

// The members of a list of JSON objects as equal-length numpy arrays:
// numbers as float64 (NaN where missing), dates as datetime64[D], times
// as datetime64[ns] (NaT where missing), texts as str (object) arrays (""
// where missing, so an error column always compares with ""). With no rows,
// empty arrays of the same types under the names keys.
py::dict columns_of(const nlohmann::ordered_json& rows, const std::vector<std::string>& keys) {
  py::dict out;
  const py::module_ np = py::module_::import("numpy");
  const nlohmann::ordered_json null_value;
  const auto member = [&](const nlohmann::ordered_json& r, const std::string& key) -> const nlohmann::ordered_json& {
    return r.contains(key) ? r.at(key) : null_value;
  };
  for (const std::string& key : keys) {
    const Column kind = column_of(key, rows);
    if (kind == Column::number) {
      py::array_t<double> a(static_cast<py::ssize_t>(rows.size()));
      auto v = a.mutable_unchecked<1>();
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& x = member(rows[i], key);
        v(static_cast<py::ssize_t>(i)) = x.is_number()    ? x.get<double>()
                                         : x.is_boolean() ? (x.get<bool>() ? 1.0 : 0.0)
                                                          : NAN;
      }
      out[py::str(key)] = a;
      continue;
    }
    py::list values;
    for (const auto& r : rows) {
      const auto& x = member(r, key);
      std::string text = x.is_string() ? x.get<std::string>() : std::string();
      if (kind == Column::time && text.ends_with('Z')) text.pop_back();
      if (kind != Column::text && text.empty()) text = "NaT";
      values.append(py::str(text));
    }
    const char* dtype = kind == Column::date ? "datetime64[D]" : kind == Column::time ? "datetime64[ns]" : "object";
    out[py::str(key)] = np.attr("array")(values, py::str(dtype));
  }
  return out;
}

// The member names of the first row, in their order.
std::vector<std::string> keys_of(const nlohmann::ordered_json& rows) {
  std::vector<std::string> keys;
  if (!rows.empty())
    for (const auto& item : rows.front().items()) keys.push_back(item.key());
  return keys;
}

// The members of a pair, for the columns of an empty pair list.
const std::vector<std::string> pair_keys = {"first", "second", "first_date", "second_date", "days",
                                            "perpendicular_m", "critical_baseline_m", "height_of_ambiguity_m",
                                            "coherence_model"};

// The declaration of the command's option that keyword names (as the
// command's name with underscores), or null when stack() has no such.
const bperp::stack::OptionDeclaration* declared_option(const std::string& keyword) {
  for (const bperp::stack::OptionDeclaration& o : bperp::stack::option_table())
    if (!o.keyword.empty() && o.keyword == keyword) return &o;
  return nullptr;
}

// The options that are flags: given as True (or False, for absent).
bool is_flag(const std::string& key) {
  const bperp::stack::OptionDeclaration* o = declared_option(key);
  return o != nullptr && o->type == bperp::stack::ValueType::flag;
}

// A keyword argument as the command's option (--name VALUE, repeated for
// lists, a flag for True); TypeError for a flag given anything but a bool,
// a value option given a bool, and values of other types.
void append_option(std::vector<std::string>& args, const std::string& key, const py::handle& value) {
  std::string name = "--" + key;
  for (char& c : name)
    if (c == '_') c = '-';
  if (is_flag(key)) {
    if (!py::isinstance<py::bool_>(value))
      throw py::type_error("option " + key + " is a flag: give True or False, not " +
                           py::str(py::type::of(value)).cast<std::string>());
    if (value.cast<bool>()) args.push_back(name);
    return;
  }
  if (value.is_none()) return;
  if (py::isinstance<py::bool_>(value))
    throw py::type_error("option " + key + " takes a value, not True or False");
  const auto text = [&](const py::handle& v) -> std::string {
    if (py::isinstance<py::str>(v) || is_path(v)) return path_of(v, name.c_str());
    if (PyIndex_Check(v.ptr()) == 1 && !py::isinstance<py::bool_>(v)) return py::str(py::int_(py::reinterpret_borrow<py::object>(v))).cast<std::string>();
    if (is_number(v)) return py::repr(py::float_(py::reinterpret_borrow<py::object>(v))).cast<std::string>();
    throw py::type_error("option " + key + " takes a number, a text or a path, not " +
                         py::str(py::type::of(v)).cast<std::string>());
  };
  if (key == "grid" && py::isinstance<py::sequence>(value) && !is_path(value)) {
    const py::sequence s = py::reinterpret_borrow<py::sequence>(value);
    if (py::len(s) != 2) throw py::type_error("grid takes (lines, ranges) or 'LINESxRANGES'");
    args.push_back(name);
    args.push_back(text(s[0]) + "x" + text(s[1]));
    return;
  }
  if (key == "at_point" && py::isinstance<py::sequence>(value) && !is_path(value)) {
    std::string joined;
    for (const py::handle& v : py::reinterpret_borrow<py::sequence>(value))
      joined += (joined.empty() ? "" : ",") + text(v);
    args.push_back(name);
    args.push_back(joined);
    return;
  }
  if (py::isinstance<py::sequence>(value) && !is_path(value)) {
    for (const py::handle& v : py::reinterpret_borrow<py::sequence>(value)) {
      args.push_back(name);
      args.push_back(text(v));
    }
    return;
  }
  args.push_back(name);
  args.push_back(text(value));
}

// Runs bperp-stack in this process with args, the GIL released; its two
// streams captured.
int run_command(const std::vector<std::string>& args, std::string& out, std::string& err) {
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  char* out_buffer = nullptr;
  char* err_buffer = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* o = open_memstream(&out_buffer, &out_size);
  std::FILE* e = open_memstream(&err_buffer, &err_size);
  std::FILE* in = std::fopen("/dev/null", "r");
  int status = 1;
  {
    py::gil_scoped_release release;
    status = bperp::stack::stack_command(static_cast<int>(argv.size()), argv.data(), in, o, e);
    std::fclose(o);
    std::fclose(e);
  }
  if (in != nullptr) std::fclose(in);
  out.assign(out_buffer, out_size);
  err.assign(err_buffer, err_size);
  std::free(out_buffer);
  std::free(err_buffer);
  return status;
}

py::dict stack(const py::handle& reference, const py::handle& secondaries, const py::kwargs& options) {
  std::vector<std::string> args = {"bperp-stack", "--format", "json"};
  for (const auto& [k, v] : options) {
    const std::string key = py::str(k).cast<std::string>();
    if (declared_option(key) == nullptr) throw py::type_error("stack() got an unknown option '" + key + "'");
    append_option(args, key, v);
  }
  args.push_back("--");
  args.push_back(path_of(reference, "reference"));
  const std::string reference_path = args.back();
  if (is_path(secondaries) || !py::isinstance<py::iterable>(secondaries))
    throw py::type_error("secondaries must be a sequence of paths");
  for (const py::handle& s : secondaries) args.push_back(path_of(s, "a secondary"));

  std::string out, err;
  run_command(args, out, err);
  if (out.empty()) {
    const std::string message = without_final_newline(err);
    const int open_error = open_error_of(reference_path);
    if (open_error != 0 && message.find("can't open") != std::string::npos)
      raise_os_error(open_error, message, reference_path);
    raise_value_error(message);
  }
  const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(out);
  py::dict result;
  result["reference"] = to_python(doc.at("reference"));
  result["secondaries"] = columns_of(doc.at("secondaries"), keys_of(doc.at("secondaries")));
  if (doc.contains("pairs")) {
    const auto& pairs = doc.at("pairs");
    result["pairs"] = columns_of(pairs, pairs.empty() ? pair_keys : keys_of(pairs));
  }
  if (doc.contains("network")) result["network"] = to_python(doc.at("network"));
  result["messages"] = text_of(without_final_newline(err));
  return result;
}

// UTC instants as datetime64[ns].
py::array times_of(const std::vector<bperp::stack::UtcTime>& times) {
  py::array_t<long long> ns(static_cast<py::ssize_t>(times.size()));
  auto v = ns.mutable_unchecked<1>();
  for (std::size_t i = 0; i < times.size(); ++i) v(static_cast<py::ssize_t>(i)) = times[i].time_since_epoch().count();
  return ns.attr("view")(py::str("datetime64[ns]"));
}

// A number of the product, or None.
template <typename T>
py::object optional_of(const std::optional<T>& value) {
  return value ? py::cast(*value) : py::object(py::none());
}

// The n states state_of(0 .. n-1) (km, km/s, earth-fixed) as the N x 3
// arrays "position" (m) and "velocity" (m/s) of d.
template <typename StateOf>
void put_states(py::dict& d, std::size_t n, StateOf state_of) {
  const py::ssize_t rows = static_cast<py::ssize_t>(n);
  py::array_t<double> position({rows, py::ssize_t{3}});
  py::array_t<double> velocity({rows, py::ssize_t{3}});
  auto p = position.mutable_unchecked<2>();
  auto v = velocity.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < rows; ++i) {
    const bperp::StateVector& s = state_of(static_cast<std::size_t>(i));
    for (int k = 0; k < 3; ++k) {
      p(i, k) = s.position[k] * bperp::units::metres_per_km;
      v(i, k) = s.velocity[k] * bperp::units::metres_per_km;
    }
  }
  d["position"] = position;
  d["velocity"] = velocity;
}

// The UTC times of orbit rows (s since epoch) as datetime64[ns].
py::array orbit_times(const bperp::stack::Orbit& rows, bperp::stack::UtcTime epoch) {
  std::vector<bperp::stack::UtcTime> t;
  t.reserve(rows.size());
  for (const auto& row : rows) t.push_back(bperp::stack::add_seconds(epoch, row.t));
  return times_of(t);
}

// A Sentinel-1 orbit file (*.EOF) as read() returns it; nullopt when path
// is no such file.
std::optional<py::dict> read_orbit_file(const std::string& path) {
  std::string problem;
  const std::optional<bperp::stack::S1OrbitFile> f = bperp::stack::read_s1_orbit_file(path, &problem);
  if (!f) return std::nullopt;
  py::dict d;
  d["kind"] = "orbit file";
  d["file_name"] = text_of(f->file_name);
  d["mission"] = f->mission;
  d["file_type"] = f->file_type;
  d["validity"] = times_of({f->validity_start, f->validity_stop});
  d["creation"] = times_of({f->creation})[py::int_(0)];
  put_states(d, f->orbit.rows.size(), [&](std::size_t i) -> const bperp::StateVector& {
    return f->orbit.rows[i].state;
  });
  d["time"] = orbit_times(f->orbit.rows, f->orbit.epoch);
  py::list warnings;
  for (const std::string& w : f->warnings) warnings.append(text_of(w));
  d["warnings"] = warnings;
  return d;
}

py::dict read_file(const py::handle& given) {
  const std::string path = path_of(given, "path");
  const bperp::stack::Acquisition a = bperp::stack::read_secondary(path);
  if (a.refusal) {
    // A file that can't be opened is an OSError, as open() raises it.
    if (a.refusal->kind == bperp::stack::RefusalKind::unreadable)
      if (const int error = open_error_of(path); error != 0) raise_os_error(error, a.refusal->text, path);
    if (std::optional<py::dict> orbit_file = read_orbit_file(path)) return *orbit_file;
    raise_value_error(a.refusal->text);
  }
  py::dict d;
  d["kind"] = bperp::stack::kind_text(a);
  d["date"] = a.day ? py::object(py::module_::import("numpy").attr("datetime64")(
                          py::int_(*a.day), py::str("D")))
                    : py::object(py::none());
  const bool one_state = a.kind == bperp::stack::AcquisitionKind::state_vector;
  put_states(d, one_state ? 1 : a.orbit.size(), [&](std::size_t i) -> const bperp::StateVector& {
    return one_state ? a.state : a.orbit[i].state;
  });
  if (!one_state) {
    if (a.epoch) {
      d["time"] = orbit_times(a.orbit, *a.epoch);
    } else {
      py::array_t<double> t(static_cast<py::ssize_t>(a.orbit.size()));
      auto tv = t.mutable_unchecked<1>();
      for (std::size_t i = 0; i < a.orbit.size(); ++i) tv(static_cast<py::ssize_t>(i)) = a.orbit[i].t;
      d["time"] = t;
    }
  }
  if (a.product) {
    const auto& info = *a.product;
    d["format"] = info.format;
    d["mission"] = info.mission;
    d["absolute_orbit"] = optional_of(info.absolute_orbit);
    d["pass"] = info.pass;
    d["swath"] = info.swath;
    d["radar_frequency_hz"] = optional_of(info.radar_frequency_hz);
    d["look"] = info.look == bperp::stack::LookSide::right ? "right" : "left";
    std::vector<bperp::stack::UtcTime> lines;
    if (info.image.first_line) lines.push_back(*info.image.first_line);
    if (info.image.last_line) lines.push_back(*info.image.last_line);
    d["first_and_last_line"] = times_of(lines);
    d["near_range_m"] = optional_of(info.image.near_range_m);
    d["far_range_m"] = optional_of(info.image.far_range_m);
    d["polarisation"] = info.polarisation;
    d["wavelength_m"] = optional_of(info.wavelength_m);
    d["range_sampling_rate_hz"] = optional_of(info.range_sampling_rate_hz);
    d["range_bandwidth_hz"] = optional_of(info.range_bandwidth_hz);
    d["azimuth_bandwidth_hz"] = optional_of(info.azimuth_bandwidth_hz);
    d["line_interval_s"] = optional_of(info.image.line_interval_s);
    d["burst_times"] = times_of(info.burst_times);
    d["epsg"] = optional_of(info.epsg);
    d["orbit_source"] = text_of(info.orbit.source);
  }
  return d;
}

// One baseline run with the two state vectors it was computed from (which
// is what a pickle holds: the run is worked out again, bit for bit, when
// the object is loaded).
struct BaselineResult {
  bperp::StateVector master{}, slave{};
  bperp::BaselineRun run;
};

// The twelve numbers of the two state vectors (km, km/s).
py::tuple state_of(const BaselineResult& r) {
  py::list numbers;
  for (const bperp::StateVector* sv : {&r.master, &r.slave}) {
    for (int k = 0; k < 3; ++k) numbers.append(sv->position[k]);
    for (int k = 0; k < 3; ++k) numbers.append(sv->velocity[k]);
  }
  return py::tuple(numbers);
}

BaselineResult result_of(const py::tuple& numbers) {
  constexpr std::size_t twelve = 2 * bperp::state_vector_numbers;
  if (py::len(numbers) != twelve) throw py::value_error("a pickled bperp.Baseline holds twelve numbers");
  double v[twelve];
  for (std::size_t i = 0; i < twelve; ++i) v[i] = numbers[i].cast<double>();
  BaselineResult r;
  r.master = bperp::state_vector_from(v);
  r.slave = bperp::state_vector_from(v + bperp::state_vector_numbers);
  r.run = bperp::run_baseline(r.master, r.slave);
  return r;
}

}  // namespace

PYBIND11_MODULE(bperp, m) {
  m.doc() = "SAR interferometry baselines: the computations of the bperp and bperp-stack commands.";
  m.attr("__version__") = BPERP_VERSION;

  py::class_<BaselineResult>(m, "Baseline", "What one baseline run works out (km, km/s, rad, Hz; earth-fixed)")
      .def_property_readonly("parallel", [](const BaselineResult& r) { return r.run.parallel; },
                             "B . U, km: the parallel baseline, exactly the number bperp prints before rounding")
      .def_property_readonly("perpendicular", [](const BaselineResult& r) { return r.run.perpendicular; },
                             "B . V, km: the perpendicular baseline, exactly as bperp computes it")
      .def_property_readonly("slant_range", [](const BaselineResult& r) { return r.run.slant_range; },
                             "slant range of beam 7 from the master, km")
      .def_property_readonly("earth_radius", [](const BaselineResult& r) { return r.run.earth_radius; },
                             "local earth radius under the master, km")
      .def_property_readonly("scene_point", [](const BaselineResult& r) {
        return py::make_tuple(r.run.scene_point[0], r.run.scene_point[1], r.run.scene_point[2]);
      }, "the scene point T, earth-fixed, km")
      .def_property_readonly("doppler_centroid", [](const BaselineResult& r) { return r.run.doppler_centroid; }, "Hz")
      .def_property_readonly("doppler_rate", [](const BaselineResult& r) { return r.run.doppler_rate; }, "Hz/s")
      .def_property_readonly("doppler_rate2", [](const BaselineResult& r) { return r.run.doppler_rate2; }, "Hz/s^2")
      .def_property_readonly("doppler_rate3", [](const BaselineResult& r) { return r.run.doppler_rate3; }, "Hz/s^3")
      .def_property_readonly("incidence", [](const BaselineResult& r) { return r.run.incidence; },
                             "incidence at the scene point from its geocentric radial, rad")
      .def_property_readonly("off_nadir", [](const BaselineResult& r) { return r.run.off_nadir; },
                             "off-nadir angle at the master, rad")
      .def_property_readonly("iterations", [](const BaselineResult& r) { return r.run.search.iterations; },
                             "Newton iterations of the scene point search")
      .def_property_readonly("status", [](const BaselineResult& r) { return status_text(r.run.status); },
                             "'ok' (a refused run raises ValueError instead of returning)")
      .def(py::pickle(&state_of, &result_of))
      .def("__repr__", [](const BaselineResult& r) {
        char text[128];
        std::snprintf(text, sizeof text, "bperp.Baseline(parallel=%.6f km, perpendicular=%.6f km)", r.run.parallel,
                      r.run.perpendicular);
        return std::string(text);
      });

  m.def("baseline", [](const py::handle& master, const py::handle& slave) {
        std::string master_name, slave_name;
        const bperp::StateVector a = state_vector(master, "master", &master_name);
        const bperp::StateVector b = state_vector(slave, "slave", &slave_name);
        BaselineResult r;
        r.master = a;
        r.slave = b;
        r.run = bperp::run_baseline(a, b);
        if (r.run.status != bperp::RunStatus::ok)
          raise_value_error(without_final_newline(
              bperp::run_failure_message(r.run.status, master_name.c_str(), slave_name.c_str())));
        return r;
      },
      py::arg("master"), py::arg("slave"),
      R"(The baseline of two passes, as the bperp command computes it.

master, slave: state-vector files (paths) or sequences of six numbers
    X Y Z (km) VX VY VZ (km/s), earth-fixed.
Returns a Baseline: parallel and perpendicular (km), the slant range, the
scene point, the Doppler values and the angles; it pickles (as its two
state vectors, the run worked out again on loading, bit for bit).
Raises FileNotFoundError (or another OSError) for a file that can't be
opened, ValueError (the command's message) for refused content or geometry,
TypeError for arguments of another type.)");

  m.def("stack", &stack, py::arg("reference"), py::arg("secondaries"),
        R"(The baselines of a stack, as bperp-stack computes them.

reference: a path; secondaries: a sequence of paths. Options as keyword
arguments, the command's options with underscores (pairs=True,
max_perp=150 (m), max_days=48, orbit=[...], orbit_dir=..., at_time='...',
at_point=(lat, lon[, h]), swath='IW2', grid=(5, 5), min_coherence=0.5, ...).
Returns a dict: 'reference' (a dict, the JSON reference object),
'secondaries' (a dict of equal-length numpy arrays named as the JSON keys:
numbers float64 in the JSON's units (m, deg, s), NaN where missing; dates
datetime64[D], times datetime64[ns]; texts as str, 'error' '' or the reason),
'pairs' and 'network' when pairs were asked for, 'messages' (the command's
standard error). pandas.DataFrame(result['secondaries']) works as it is.
Flags (pairs, annual, mst, require_connected, as_given) take True or
False; numbers may be Python or numpy numbers. Raises FileNotFoundError (or
another OSError) when the reference can't be opened, ValueError with the
command's message when the reference or an option is refused, TypeError for
an option of the wrong type. The GIL is released while the stack is computed.)");

  m.def("read", &read_file, py::arg("path"),
        R"(What an input file holds: 'kind', 'date', the orbit's 'position' and
'velocity' (N x 3, m and m/s, earth-fixed; one row for a state vector) and
'time' (datetime64[ns] on UTC, or seconds on the file's own scale), and for a
product its mission, orbit, pass, swath, radar frequency (Hz), look side,
first and last line times, near and far slant range (m), bandwidths (Hz),
line interval (s) and burst times. A Sentinel-1 orbit file (*.EOF) gives its
mission, file type, validity (datetime64[ns]) and its vectors the same way.
Raises FileNotFoundError (or another OSError) for a file that can't be
opened, ValueError (the command's message) for refused content.)");
}
