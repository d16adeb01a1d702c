// bperp.read() in the compiled module: what an input file holds, as the
// stack reads it (the orbit in m and m/s, times as datetime64[ns]).
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "bperp/numeric/units.h"
#include "bperp/stack/inputs/acquisition.h"
#include "bperp/stack/inputs/s1_orbit_file.h"
#include "bperp/stack/support/utc_time.h"
#include "python_support.h"
#include "stack_binding.h"

namespace bperp::python {

namespace {

// UTC instants as datetime64[ns].
py::array times_of(const std::vector<stack::UtcTime>& times) {
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
    const StateVector& s = state_of(static_cast<std::size_t>(i));
    for (int k = 0; k < 3; ++k) {
      p(i, k) = s.position[k] * units::metres_per_km;
      v(i, k) = s.velocity[k] * units::metres_per_km;
    }
  }
  d["position"] = position;
  d["velocity"] = velocity;
}

// The UTC times of orbit rows (s since epoch) as datetime64[ns].
py::array orbit_times(const stack::Orbit& rows, stack::UtcTime epoch) {
  std::vector<stack::UtcTime> t;
  t.reserve(rows.size());
  for (const auto& row : rows) t.push_back(stack::add_seconds(epoch, row.t));
  return times_of(t);
}

// A Sentinel-1 orbit file (*.EOF) as read() returns it; nullopt when path
// is no such file.
std::optional<py::dict> read_orbit_file(const std::string& path) {
  std::string problem;
  const std::optional<stack::S1OrbitFile> f = stack::read_s1_orbit_file(path, &problem);
  if (!f) return std::nullopt;
  py::dict d;
  d["kind"] = "orbit file";
  d["file_name"] = text_of(f->file_name);
  d["mission"] = f->mission;
  d["file_type"] = f->file_type;
  d["validity"] = times_of({f->validity_start, f->validity_stop});
  d["creation"] = times_of({f->creation})[py::int_(0)];
  put_states(d, f->orbit.rows.size(), [&](std::size_t i) -> const StateVector& {
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
  const stack::Acquisition a = stack::read_secondary(path);
  if (a.refusal) {
    // A file that can't be opened is an OSError, as open() raises it.
    if (a.refusal->kind == stack::RefusalKind::unreadable)
      if (const int error = open_error_of(path); error != 0) raise_os_error(error, a.refusal->text, path);
    if (std::optional<py::dict> orbit_file = read_orbit_file(path)) return *orbit_file;
    raise_value_error(a.refusal->text);
  }
  py::dict d;
  d["kind"] = stack::kind_text(a);
  d["date"] = a.day ? py::object(py::module_::import("numpy").attr("datetime64")(
                          py::int_(*a.day), py::str("D")))
                    : py::object(py::none());
  const bool one_state = a.kind == stack::AcquisitionKind::state_vector;
  put_states(d, one_state ? 1 : a.orbit.size(), [&](std::size_t i) -> const StateVector& {
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
    d["look"] = info.look == stack::LookSide::right ? "right" : "left";
    std::vector<stack::UtcTime> lines;
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

}  // namespace

void register_read(py::module_& m) { m.def("read", &read_file, py::arg("path")); }

}  // namespace bperp::python
