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

#include "bperp/app/state_vector_file.h"
#include "bperp/baseline/baseline_run.h"
#include "bperp/stack/command/stack_command.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/support/utc_time.h"
#include "bperp/version.h"

namespace py = pybind11;

namespace {

// A path given as str or os.PathLike, as text; TypeError otherwise.
std::string path_of(const py::handle& object, const char* what) {
  if (py::isinstance<py::str>(object)) return object.cast<std::string>();
  if (py::hasattr(object, "__fspath__")) {
    const py::object text = py::module_::import("os").attr("fspath")(object);
    if (py::isinstance<py::str>(text)) return text.cast<std::string>();
  }
  throw py::type_error(std::string(what) + " must be a path (str or os.PathLike), not " +
                       py::str(py::type::of(object)).cast<std::string>());
}

// Raises OSError (FileNotFoundError and the like, by errno) with the
// command's message.
[[noreturn]] void raise_os_error(int error, const std::string& message, const std::string& path) {
  const py::object e = py::reinterpret_steal<py::object>(
      PyObject_CallFunction(PyExc_OSError, "isO", error, message.c_str(), py::str(path).ptr()));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
  throw py::error_already_set();
}

std::string without_final_newline(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A state vector from a file (km, km/s) or six numbers.
bperp::StateVector state_vector(const py::handle& given, const char* what, std::string* name) {
  if (py::isinstance<py::str>(given) || py::hasattr(given, "__fspath__")) {
    const std::string path = path_of(given, what);
    *name = path;
    bperp::NumberFile file;
    std::string problem;
    switch (bperp::read_number_file(path.c_str(), bperp::state_vector_numbers, true,
                                    bperp::max_state_vector_bytes, file, &problem)) {
      case bperp::FileRead::cannot_open:
        raise_os_error(file.open_error, "can't open " + path, path);
      case bperp::FileRead::refused:
        throw py::value_error("can't read state vector from " + path + "\n  " + problem);
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
    if (!py::isinstance<py::float_>(s[i]) && !py::isinstance<py::int_>(s[i]))
      throw py::type_error(std::string(what) + " holds a " +
                           py::str(py::type::of(s[i])).cast<std::string>() + " where a number belongs");
    six[i] = s[i].cast<double>();
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

// The members of a list of JSON objects as equal-length numpy arrays:
// numbers as float64 (NaN where missing), "date" members as datetime64[D],
// *_time members as datetime64[ns] (NaT where missing), texts as str
// (object) arrays ("" where missing), "error" as str.
py::dict columns_of(const nlohmann::ordered_json& rows) {
  py::dict out;
  if (rows.empty()) return out;
  const py::module_ np = py::module_::import("numpy");
  for (const auto& [key, first] : rows.front().items()) {
    bool numeric = true;
    for (const auto& r : rows)
      if (r.contains(key) && !r.at(key).is_null() && !r.at(key).is_number()) numeric = false;
    const bool date = key == "date" || key.ends_with("_date");
    const bool time = key.ends_with("_time");
    if (date || time) {
      py::list values;
      for (const auto& r : rows)
        values.append(r.at(key).is_string() ? py::str(r.at(key).get<std::string>().substr(
                                                  0, r.at(key).get<std::string>().size() - (time ? 1 : 0)))
                                            : py::str("NaT"));
      out[py::str(key)] = np.attr("array")(values, py::str(date ? "datetime64[D]" : "datetime64[ns]"));
    } else if (numeric) {
      py::array_t<double> a(static_cast<py::ssize_t>(rows.size()));
      auto v = a.mutable_unchecked<1>();
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& x = rows[i].at(key);
        v(static_cast<py::ssize_t>(i)) = x.is_number() ? x.get<double>() : NAN;
      }
      out[py::str(key)] = a;
    } else {
      py::list values;
      for (const auto& r : rows) {
        const auto& x = r.at(key);
        values.append(x.is_string() ? py::str(x.get<std::string>()) : py::str(""));
      }
      out[py::str(key)] = np.attr("array")(values, py::str("object"));
    }
  }
  return out;
}

// A keyword argument as the command's option (--name VALUE, repeated for
// lists, a flag for True); TypeError for other types.
void append_option(std::vector<std::string>& args, const std::string& key, const py::handle& value) {
  std::string name = "--" + key;
  for (char& c : name)
    if (c == '_') c = '-';
  if (py::isinstance<py::bool_>(value)) {
    if (value.cast<bool>()) args.push_back(name);
    return;
  }
  if (value.is_none()) return;
  const auto text = [&](const py::handle& v) -> std::string {
    if (py::isinstance<py::str>(v)) return v.cast<std::string>();
    if (py::hasattr(v, "__fspath__")) return path_of(v, name.c_str());
    if (py::isinstance<py::int_>(v) || py::isinstance<py::float_>(v)) return py::str(v).cast<std::string>();
    throw py::type_error("option " + key + " takes a number, a text or a path, not " +
                         py::str(py::type::of(v)).cast<std::string>());
  };
  if (key == "grid" && py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value)) {
    const py::sequence s = py::reinterpret_borrow<py::sequence>(value);
    if (py::len(s) != 2) throw py::type_error("grid takes (lines, ranges) or 'LINESxRANGES'");
    args.push_back(name);
    args.push_back(text(s[0]) + "x" + text(s[1]));
    return;
  }
  if (key == "at_point" && py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value)) {
    std::string joined;
    for (const py::handle& v : py::reinterpret_borrow<py::sequence>(value))
      joined += (joined.empty() ? "" : ",") + text(v);
    args.push_back(name);
    args.push_back(joined);
    return;
  }
  if (py::isinstance<py::sequence>(value) && !py::isinstance<py::str>(value)) {
    for (const py::handle& v : py::reinterpret_borrow<py::sequence>(value)) {
      args.push_back(name);
      args.push_back(text(v));
    }
    return;
  }
  args.push_back(name);
  args.push_back(text(value));
}

// The options stack() takes, as the command's.
const char* const stack_options[] = {
    "pairs", "max_perp", "max_days", "max_neighbours", "sequential", "annual", "mst",
    "require_connected", "min_coherence", "range_bandwidth", "azimuth_bandwidth", "sensor",
    "coherence_tau", "coherence_floor", "snr", "as_given", "max_length", "swath", "at_time",
    "at_range", "at_point", "height", "look", "wavelength", "orbit", "orbit_dir", "hdf5_orbit",
    "grid", "plot", "export"};

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
    bool known = false;
    for (const char* o : stack_options) known = known || key == o;
    if (!known) throw py::type_error("stack() got an unknown option '" + key + "'");
    append_option(args, key, v);
  }
  args.push_back("--");
  args.push_back(path_of(reference, "reference"));
  if (py::isinstance<py::str>(secondaries) || !py::isinstance<py::iterable>(secondaries))
    throw py::type_error("secondaries must be a sequence of paths");
  for (const py::handle& s : secondaries) args.push_back(path_of(s, "a secondary"));

  std::string out, err;
  run_command(args, out, err);
  if (out.empty()) throw py::value_error(without_final_newline(err));
  const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(out);
  py::dict result;
  result["reference"] = to_python(doc.at("reference"));
  result["secondaries"] = columns_of(doc.at("secondaries"));
  if (doc.contains("pairs")) result["pairs"] = columns_of(doc.at("pairs"));
  if (doc.contains("network")) result["network"] = to_python(doc.at("network"));
  result["messages"] = py::str(without_final_newline(err));
  return result;
}

// UTC instants as datetime64[ns].
py::array times_of(const std::vector<bperp::stack::UtcTime>& times) {
  py::array_t<long long> ns(static_cast<py::ssize_t>(times.size()));
  auto v = ns.mutable_unchecked<1>();
  for (std::size_t i = 0; i < times.size(); ++i) v(static_cast<py::ssize_t>(i)) = times[i].time_since_epoch().count();
  return ns.attr("view")(py::str("datetime64[ns]"));
}

py::dict read_file(const py::handle& given) {
  const std::string path = path_of(given, "path");
  const bperp::stack::Acquisition a = bperp::stack::read_secondary(path);
  if (!a.error.empty()) {
    if (a.error.rfind("can't open", 0) == 0) {
      errno = 0;
      std::FILE* f = std::fopen(path.c_str(), "rb");
      const int error = f == nullptr ? errno : EIO;
      if (f != nullptr) std::fclose(f);
      raise_os_error(error, a.error, path);
    }
    throw py::value_error(a.error);
  }
  py::dict d;
  d["kind"] = bperp::stack::kind_text(a);
  d["date"] = a.day ? py::object(py::module_::import("numpy").attr("datetime64")(
                          py::int_(*a.day), py::str("D")))
                    : py::object(py::none());
  const std::size_t n = a.kind == bperp::stack::AcquisitionKind::state_vector ? 1 : a.orbit.size();
  py::array_t<double> position({static_cast<py::ssize_t>(n), py::ssize_t{3}});
  py::array_t<double> velocity({static_cast<py::ssize_t>(n), py::ssize_t{3}});
  auto p = position.mutable_unchecked<2>();
  auto v = velocity.mutable_unchecked<2>();
  for (std::size_t i = 0; i < n; ++i) {
    const bperp::StateVector& s = a.kind == bperp::stack::AcquisitionKind::state_vector ? a.state : a.orbit[i].state;
    for (int k = 0; k < 3; ++k) {
      p(static_cast<py::ssize_t>(i), k) = s.position[k] * 1000.0;
      v(static_cast<py::ssize_t>(i), k) = s.velocity[k] * 1000.0;
    }
  }
  d["position"] = position;
  d["velocity"] = velocity;
  if (a.kind != bperp::stack::AcquisitionKind::state_vector) {
    if (a.epoch) {
      std::vector<bperp::stack::UtcTime> t;
      for (const auto& row : a.orbit) t.push_back(bperp::stack::add_seconds(*a.epoch, row.t));
      d["time"] = times_of(t);
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
    d["absolute_orbit"] = info.absolute_orbit ? py::object(py::int_(*info.absolute_orbit)) : py::object(py::none());
    d["pass"] = info.pass;
    d["swath"] = info.swath;
    d["radar_frequency_hz"] = info.radar_frequency_hz ? py::object(py::float_(*info.radar_frequency_hz)) : py::none();
    d["look"] = info.look == bperp::stack::LookSide::right ? "right" : "left";
    std::vector<bperp::stack::UtcTime> lines;
    if (info.image.first_line) lines.push_back(*info.image.first_line);
    if (info.image.last_line) lines.push_back(*info.image.last_line);
    d["first_and_last_line"] = times_of(lines);
    d["near_range_m"] = info.image.near_range_m ? py::object(py::float_(*info.image.near_range_m)) : py::none();
    d["far_range_m"] = info.image.far_range_m ? py::object(py::float_(*info.image.far_range_m)) : py::none();
    d["orbit_source"] = info.orbit.source;
  }
  return d;
}

struct BaselineResult {
  bperp::BaselineRun run;
};

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
      .def_property_readonly("status", [](const BaselineResult& r) { return status_text(r.run.status); })
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
        r.run = bperp::run_baseline(a, b);
        if (r.run.status != bperp::RunStatus::ok)
          throw py::value_error(without_final_newline(
              bperp::run_failure_message(r.run.status, master_name.c_str(), slave_name.c_str())));
        return r;
      },
      py::arg("master"), py::arg("slave"),
      R"(The baseline of two passes, as the bperp command computes it.

master, slave: state-vector files (paths) or sequences of six numbers
    X Y Z (km) VX VY VZ (km/s), earth-fixed.
Returns a Baseline: parallel and perpendicular (km), the slant range, the
scene point, the Doppler values and the angles.
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
Raises ValueError with the command's message when the reference or an
option is refused. The GIL is released while the stack is computed.)");

  m.def("read", &read_file, py::arg("path"),
        R"(What an input file holds: 'kind', 'date', the orbit's 'position' and
'velocity' (N x 3, m and m/s, earth-fixed; one row for a state vector) and
'time' (datetime64[ns] on UTC, or seconds on the file's own scale), and for a
product its mission, orbit, pass, swath, radar frequency (Hz), look side,
first and last line times and near and far slant range (m).)");
}
