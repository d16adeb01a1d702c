// bperp.baseline() in the compiled module: the run of the bperp command on
// two state vectors (km, km/s), one pair or N pairs at once.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "bperp/baseline/baseline_run.h"
#include "bperp/io/state_vector_file.h"
#include "python_support.h"
#include "stack_binding.h"

namespace bperp::python {

namespace {

std::string without_final_newline(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A state vector from a file (km, km/s), or from six numbers the package
// checked; *name how messages name it.
StateVector state_vector(const py::handle& given, const char* what, std::string* name) {
  if (is_path(given)) {
    const std::string path = path_of(given, what);
    *name = path;
    NumberFile file;
    std::string problem;
    switch (read_number_file(path.c_str(), state_vector_numbers, true, max_state_vector_bytes, file, &problem)) {
      case FileRead::cannot_open: raise_os_error(file.open_error, "can't open " + path, path);
      case FileRead::refused: raise_value_error("can't read state vector from " + path + "\n  " + problem);
      case FileRead::ok: break;
    }
    return state_vector_from(file.numbers.data());
  }
  const auto six = given.cast<std::vector<double>>();
  if (six.size() != state_vector_numbers) throw py::type_error(std::string(what) + " must hold six numbers");
  *name = "<" + std::string(what) + ">";
  return state_vector_from(six.data());
}

const char* status_text(RunStatus status) {
  switch (status) {
    case RunStatus::ok: return "ok";
    case RunStatus::not_finite_input: return "not_finite_input";
    case RunStatus::no_cross_track: return "no_cross_track";
    case RunStatus::inside_earth: return "inside_earth";
    case RunStatus::beam_misses_earth: return "beam_misses_earth";
    case RunStatus::no_start_angle: return "no_start_angle";
    case RunStatus::not_converged: return "not_converged";
    case RunStatus::not_located: return "not_located";
    case RunStatus::not_finite_result: return "not_finite_result";
  }
  return "unknown";
}

// One baseline run with the two state vectors it was computed from (which
// is what a pickle holds: the run is worked out again, bit for bit, when
// the object is loaded).
struct BaselineResult {
  StateVector master{}, slave{};
  BaselineRun run;
};

// The twelve numbers of the two state vectors (km, km/s).
py::tuple state_of(const BaselineResult& r) {
  py::list numbers;
  for (const StateVector* sv : {&r.master, &r.slave}) {
    for (int k = 0; k < 3; ++k) numbers.append(sv->position[k]);
    for (int k = 0; k < 3; ++k) numbers.append(sv->velocity[k]);
  }
  return py::tuple(numbers);
}

BaselineResult result_of(const py::tuple& numbers) {
  constexpr std::size_t twelve = 2 * state_vector_numbers;
  if (py::len(numbers) != twelve) throw py::value_error("a pickled bperp.Baseline holds twelve numbers");
  double v[twelve];
  for (std::size_t i = 0; i < twelve; ++i) v[i] = numbers[i].cast<double>();
  BaselineResult r;
  r.master = state_vector_from(v);
  r.slave = state_vector_from(v + state_vector_numbers);
  r.run = run_baseline(r.master, r.slave);
  return r;
}

BaselineResult baseline_pair(const py::handle& master, const py::handle& slave) {
  std::string master_name, slave_name;
  BaselineResult r;
  r.master = state_vector(master, "master", &master_name);
  r.slave = state_vector(slave, "slave", &slave_name);
  r.run = run_baseline(r.master, r.slave);
  if (r.run.status != RunStatus::ok)
    raise_value_error(
        without_final_newline(run_failure_message(r.run.status, master_name.c_str(), slave_name.c_str())));
  return r;
}

// N pairs at once: masters and slaves (N, 6) float64 arrays (km, km/s,
// C order, checked by the package); every number of BaselineRun as an
// array, NaN where a pair's status is not "ok".
py::dict baseline_arrays(const py::array_t<double, py::array::c_style>& masters,
                         const py::array_t<double, py::array::c_style>& slaves) {
  const py::ssize_t n = masters.shape(0);
  static const char* const scalars[] = {"parallel",      "perpendicular", "slant_range",   "earth_radius",
                                        "doppler_centroid", "doppler_rate", "doppler_rate2", "doppler_rate3",
                                        "incidence",     "off_nadir"};
  constexpr std::size_t scalar_count = sizeof scalars / sizeof *scalars;
  std::vector<py::array_t<double>> columns;
  for (std::size_t k = 0; k < scalar_count; ++k) columns.emplace_back(n);
  py::array_t<double> scene({n, py::ssize_t{3}});
  py::array_t<std::int32_t> iterations(n);
  std::vector<RunStatus> status(static_cast<std::size_t>(n));
  {
    const py::gil_scoped_release no_gil;
    const double* a = masters.data();
    const double* b = slaves.data();
    std::vector<double*> out;
    for (auto& c : columns) out.push_back(c.mutable_data());
    double* t = scene.mutable_data();
    std::int32_t* it = iterations.mutable_data();
    for (py::ssize_t i = 0; i < n; ++i) {
      const BaselineRun r = run_baseline(state_vector_from(a + 6 * i), state_vector_from(b + 6 * i));
      const bool ok = r.status == RunStatus::ok;
      const double values[scalar_count] = {r.parallel,      r.perpendicular, r.slant_range,   r.earth_radius,
                                           r.doppler_centroid, r.doppler_rate, r.doppler_rate2, r.doppler_rate3,
                                           r.incidence,     r.off_nadir};
      for (std::size_t k = 0; k < scalar_count; ++k) out[k][i] = ok ? values[k] : NAN;
      for (int k = 0; k < 3; ++k) t[3 * i + k] = ok ? r.scene_point[k] : NAN;
      it[i] = r.search.iterations;
      status[static_cast<std::size_t>(i)] = r.status;
    }
  }
  py::dict d;
  for (std::size_t k = 0; k < scalar_count; ++k) d[scalars[k]] = columns[k];
  d["scene_point"] = scene;
  d["iterations"] = iterations;
  py::list words;
  for (const RunStatus s : status) words.append(status_text(s));
  d["status"] = py::module_::import("numpy").attr("array")(words, "object");
  return d;
}

}  // namespace

void register_baseline(py::module_& m) {
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
        const CLocaleHere c_locale;
        char text[128];
        std::snprintf(text, sizeof text, "bperp.Baseline(parallel=%.6f km, perpendicular=%.6f km)", r.run.parallel,
                      r.run.perpendicular);
        return std::string(text);
      });
  m.def("baseline_pair", &baseline_pair, py::arg("master"), py::arg("slave"));
  m.def("baseline_arrays", &baseline_arrays, py::arg("masters"), py::arg("slaves"));
}

}  // namespace bperp::python
