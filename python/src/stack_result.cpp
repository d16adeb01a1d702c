#include "stack_result.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bperp/numeric/units.h"
#include "bperp/stack/outputs/record_columns.h"
#include "bperp/stack/support/iso_date.h"
#include "bperp/stack/support/utc_time.h"
#include "stack_request.h"

namespace bperp::python {

using namespace bperp::stack;
using units::degrees;
using units::metres_per_km;

namespace {

constexpr std::int64_t not_a_time = std::numeric_limits<std::int64_t>::min();  // numpy's NaT

const char* type_word(ValueType type) {
  switch (type) {
    case ValueType::text: return "text";
    case ValueType::date: return "date";
    case ValueType::utc_time: return "utc_time";
    case ValueType::whole: return "whole";
    case ValueType::number: return "number";
    case ValueType::boolean: return "boolean";
  }
  return "text";
}

template <typename Record>
py::dict column_description(const RecordColumn<Record>& c) {
  py::dict d;
  d["key"] = c.key;
  d["heading"] = c.heading;
  d["type"] = type_word(c.type);
  d["unit"] = c.unit;
  return d;
}

// Day number of "YYYY-MM-DD", or NaT.
std::int64_t day_of(const std::string& text) {
  CivilDate date;
  return parse_iso_date_prefix(text, &date) == DateParse::ok ? days_from_civil(date) : not_a_time;
}

// Nanoseconds since 1970 of a UTC text, or NaT.
std::int64_t nanoseconds_of(const std::string& text) {
  const std::optional<UtcTime> t = parse_utc(text);
  return t ? t->time_since_epoch().count() : not_a_time;
}

// One column's cells, in a numpy array of the column's type (allocated with
// the GIL) or, for texts, each distinct text kept once and a cell its index,
// made str objects at the end: set() needs no GIL.
class ColumnCells {
 public:
  ColumnCells(ValueType type, const std::vector<py::ssize_t>& shape, bool file_names = false)
      : type_(type), file_names_(file_names) {
    std::size_t n = 1;
    for (const py::ssize_t s : shape) n *= static_cast<std::size_t>(s);
    switch (type) {
      case ValueType::text: indices_.resize(n); break;
      case ValueType::date:
      case ValueType::utc_time: array_ = py::array_t<std::int64_t>(shape); break;
      case ValueType::whole:
        array_ = py::array_t<std::int32_t>(shape);
        present_ = py::array_t<bool>(shape);
        break;
      case ValueType::number: array_ = py::array_t<double>(shape); break;
      case ValueType::boolean: truths_.resize(n); break;
    }
    data_ = type == ValueType::text || type == ValueType::boolean ? nullptr : array_.mutable_data();
  }

  // Cell i (flat, C order) from a value (a text given directly).
  void set(std::size_t i, const Value& v) {
    const std::string* t = std::get_if<std::string>(&v);
    switch (type_) {
      case ValueType::text: indices_[i] = index_of(t != nullptr ? *t : std::string()); break;
      case ValueType::date: static_cast<std::int64_t*>(data_)[i] = t != nullptr ? day_of(*t) : not_a_time; break;
      case ValueType::utc_time:
        static_cast<std::int64_t*>(data_)[i] = t != nullptr ? nanoseconds_of(*t) : not_a_time;
        break;
      case ValueType::whole: {
        const long* n = std::get_if<long>(&v);
        static_cast<std::int32_t*>(data_)[i] = n != nullptr ? static_cast<std::int32_t>(*n) : 0;
        present_.mutable_data()[i] = n != nullptr;
        break;
      }
      case ValueType::number: {
        const double* x = std::get_if<double>(&v);
        static_cast<double*>(data_)[i] = x != nullptr ? *x : NAN;
        break;
      }
      case ValueType::boolean: {
        const bool* b = std::get_if<bool>(&v);
        truths_[i] = b == nullptr ? unknown : *b ? 1 : 0;
        break;
      }
    }
  }
  // Of a whole-number column: where a cell holds a value.
  const py::array_t<bool>& present() const { return present_; }

  // The array (with the GIL): texts as an object array of str, one object
  // per distinct text; dates and times viewed as datetime64.
  py::object finish(const std::vector<py::ssize_t>& shape) {
    switch (type_) {
      case ValueType::date: return array_.attr("view")("datetime64[D]");
      case ValueType::utc_time: return array_.attr("view")("datetime64[ns]");
      case ValueType::whole:
      case ValueType::number: return array_;
      case ValueType::boolean: {
        // True, False, or None where the value is not known.
        py::array objects(py::dtype("O"), shape);
        auto** cells = static_cast<PyObject**>(objects.mutable_data());
        for (std::size_t i = 0; i < truths_.size(); ++i) {
          PyObject* value = truths_[i] == unknown ? Py_None : truths_[i] != 0 ? Py_True : Py_False;
          Py_INCREF(value);
          Py_XDECREF(cells[i]);
          cells[i] = value;
        }
        return objects;
      }
      case ValueType::text: break;
    }
    std::vector<py::object> made;
    made.reserve(texts_.size());
    for (const std::string& text : texts_)
      made.push_back(file_names_ ? py::object(file_name_of(text)) : py::object(text_of(text)));
    py::array objects(py::dtype("O"), shape);
    auto** cells = static_cast<PyObject**>(objects.mutable_data());
    for (std::size_t i = 0; i < indices_.size(); ++i) {
      Py_XDECREF(cells[i]);
      cells[i] = made[indices_[i]].inc_ref().ptr();
    }
    return objects;
  }

 private:
  ValueType type_;
  bool file_names_;
  py::array array_;
  py::array_t<bool> present_;
  void* data_ = nullptr;
  // A text column's distinct texts, their indices, and each cell's.
  std::vector<std::string> texts_;
  std::unordered_map<std::string, std::uint32_t> index_;
  std::vector<std::uint32_t> indices_;
  std::uint32_t index_of(const std::string& text) {
    const auto [it, added] = index_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
    if (added) texts_.push_back(text);
    return it->second;
  }
  // A true/false column's cells: 1, 0, or unknown.
  static constexpr signed char unknown = -1;
  std::vector<signed char> truths_;
};

// The reference as a row of its own stack at a target (view, null in the
// beam geometry): the same file, no baseline to itself (zero; no height of
// ambiguity), its own time and slant range; refused where it can't see the
// target.
SecondaryResult reference_row(const StackRun& run, const std::shared_ptr<const Acquisition>& reference,
                              const ZeroDopplerReference* view, const std::optional<Refusal>& refusal) {
  SecondaryResult r;
  r.source = reference;
  r.state = reference->state;
  r.baseline.height_of_ambiguity = NAN;
  if (reference->day) r.days = 0;
  r.doppler_centroid = reference_doppler_centroid(run.view);
  r.refusal = refusal;
  if (view != nullptr) {
    ZeroDopplerBaseline z;
    z.t = view->view.t;
    z.interpolation_error = view->view.interpolation_error;
    z.secondary_range = view->view.slant_range;
    r.zero_doppler = z;
    r.time = view->time;
    if (view->time) r.days_exact = 0.0;
  }
  return r;
}

// The value a row of the acquisitions or the grid shows in column c: a
// name as its path's bytes (made into a str by os.fsdecode), a refusal with
// the keywords for the options.
Value python_value(const Column& c, const Row& row) {
  const std::string_view key = c.key;
  if (key == "name") return Value(row.s.acquisition().path);
  Value v = value_of(c, row);
  if (key == "error")
    if (std::string* text = std::get_if<std::string>(&v)) *text = keyword_text(*text);
  return v;
}

bool grid_column(const Column& c) { return std::string_view(c.key).starts_with("grid_"); }

// Puts the arrays of columns into out by their keys, and "has_date": where
// days holds a temporal baseline (both dates known, the row computed).
void put_columns(py::dict& out, const std::vector<const Column*>& columns, std::vector<ColumnCells>& cells,
                 const std::vector<py::ssize_t>& shape) {
  for (std::size_t k = 0; k < columns.size(); ++k) {
    out[columns[k]->key] = cells[k].finish(shape);
    if (std::string_view(columns[k]->key) == "days") out["has_date"] = cells[k].present();
  }
}

// The acquisitions' rows of run in order: the reference's, then each
// secondary's.
std::vector<const SecondaryResult*> rows_of(const StackRun& run, const SecondaryResult& reference) {
  std::vector<const SecondaryResult*> rows = {&reference};
  for (const SecondaryResult& s : run.secondaries) rows.push_back(&s);
  return rows;
}

// The row of each network point in the acquisitions.
std::vector<std::int32_t> point_rows(const StackRun& run) {
  std::vector<std::int32_t> rows = {0};
  for (std::size_t k = 0; k < run.secondaries.size(); ++k)
    if (run.secondaries[k].ok()) rows.push_back(static_cast<std::int32_t>(k + 1));
  return rows;
}

// A column of booleans.
py::array_t<bool> flags(std::size_t n) { return py::array_t<bool>(static_cast<py::ssize_t>(n)); }

}  // namespace

py::list secondary_column_descriptions() {
  py::list list;
  for (const Column& c : secondary_columns()) list.append(column_description(c));
  return list;
}

py::list pair_column_descriptions() {
  py::list list;
  for (const PairColumn& c : pair_columns()) {
    py::dict d = column_description(c);
    d["part"] = pair_part_name(c.part);
    list.append(d);
  }
  return list;
}

py::dict acquisition_arrays(const RequestRun& r) {
  const StackRun& run = r.run;
  const auto reference = std::make_shared<const Acquisition>(run.reference);
  const ZeroDopplerReference* view = zero_doppler_of(run.view);
  const SecondaryResult reference_result = reference_row(run, reference, view, std::nullopt);
  const std::vector<const SecondaryResult*> rows = rows_of(run, reference_result);
  const std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(rows.size())};

  std::vector<const Column*> columns;
  std::vector<ColumnCells> cells;
  for (const Column& c : secondary_columns())
    if (!grid_column(c)) {
      columns.push_back(&c);
      cells.emplace_back(c.type, shape, std::string_view(c.key) == "name");
    }
  {
    const py::gil_scoped_release no_gil;
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (std::size_t k = 0; k < columns.size(); ++k)
        cells[k].set(i, python_value(*columns[k], Row{view, *rows[i], nullptr, r.signs}));
  }
  py::dict out;
  put_columns(out, columns, cells, shape);
  py::array_t<bool> is_reference = flags(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) is_reference.mutable_at(i) = i == 0;
  out["reference"] = is_reference;
  return out;
}

struct GridArrays::Cells {
  std::vector<py::ssize_t> shape;
  std::vector<const Column*> columns;
  std::vector<ColumnCells> cells;
  std::shared_ptr<const Acquisition> reference;
};

GridArrays::GridArrays(const RequestRun& r) : cells_(std::make_unique<Cells>()) {
  const StackRun& run = r.run;
  if (!run.grid()) return;
  const std::size_t acquisitions = run.secondaries.size() + 1;
  cells_->shape = {static_cast<py::ssize_t>(acquisitions), run.grid()->lines, run.grid()->ranges};
  cells_->reference = std::make_shared<const Acquisition>(run.reference);
  for (const Column& c : secondary_columns()) {
    cells_->columns.push_back(&c);
    cells_->cells.emplace_back(c.type, cells_->shape, std::string_view(c.key) == "name");
  }
}

GridArrays::~GridArrays() = default;

bool GridArrays::fill(const RequestRun& r, GridTally* tally, SignalCheck& check) {
  const StackRun& run = r.run;
  if (!run.grid()) return true;
  Cells& g = *cells_;
  const std::size_t points = run.grid()->targets();
  // (acquisition, line, range) in C order; the reference is acquisition 0,
  // its cells set with the first secondary's.
  const auto put = [&](std::size_t a, const GridPoint& p, const SecondaryResult& s) {
    const std::size_t cell =
        a * points + static_cast<std::size_t>(p.line) * static_cast<std::size_t>(run.grid()->ranges) +
        static_cast<std::size_t>(p.range);
    for (std::size_t k = 0; k < g.columns.size(); ++k)
      g.cells[k].set(cell, python_value(*g.columns[k], Row{&p.view, s, &p, r.signs}));
  };
  const auto asked = [&check]() { return check(); };
  if (run.secondaries.empty())
    return for_each_grid_point(
        run, [&](const GridPoint& p) { put(0, p, reference_row(run, g.reference, &p.view, p.refusal)); }, asked);
  return for_each_grid_result(
      run,
      [&](const GridPoint& p, std::size_t k, const SecondaryResult& s) {
        if (tally != nullptr) tally->add(k, s);
        if (k == 0) put(0, p, reference_row(run, g.reference, &p.view, p.refusal));
        put(k + 1, p, s);
      },
      asked);
}

py::dict GridArrays::dict() {
  if (made_) return made_;
  py::dict out;
  if (!cells_->columns.empty()) put_columns(out, cells_->columns, cells_->cells, cells_->shape);
  cells_.reset();
  made_ = out;
  return out;
}

py::dict pair_arrays(const RequestRun& r, SignalCheck& check) {
  const PairNetwork& network = *r.network;
  std::vector<const PairColumn*> own;
  for (const PairColumn& c : pair_columns())
    if (c.part == PairPart::pair) own.push_back(&c);
  std::size_t count = 0;
  {
    const py::gil_scoped_release no_gil;
    count = network.count();
  }
  const std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(count)};
  py::array_t<std::int32_t> first(shape), second(shape);
  py::array_t<bool> has_date(shape);
  std::vector<ColumnCells> cells;
  for (const PairColumn* c : own) cells.emplace_back(c->type, shape);
  const std::vector<std::int32_t> rows = point_rows(r.run);
  {
    const py::gil_scoped_release no_gil;
    std::int32_t* f = first.mutable_data();
    std::int32_t* s = second.mutable_data();
    bool* dated = has_date.mutable_data();
    constexpr std::size_t block = 1 << 16;
    struct Stopped {};
    std::size_t i = 0;
    try {
      network.for_each([&](const Pair& p) {
        if (i % block == 0 && check()) throw Stopped{};
        f[i] = rows[p.first];
        s[i] = rows[p.second];
        dated[i] = p.days.has_value();
        for (std::size_t k = 0; k < own.size(); ++k) cells[k].set(i, own[k]->value(PairRow{network, p}));
        ++i;
      });
    } catch (const Stopped&) {
    }
  }
  py::dict out;
  if (check.raised()) return out;
  out["first"] = first;
  out["second"] = second;
  for (std::size_t k = 0; k < own.size(); ++k) out[own[k]->key] = cells[k].finish(shape);
  out["has_date"] = has_date;
  return out;
}

py::dict network_dict(const RequestRun& r) {
  const std::vector<NetworkPoint>& points = r.points;
  const Connectivity& parts = r.parts;
  const std::vector<std::int32_t> rows = point_rows(r.run);
  py::dict out;
  out["components"] = parts.components.size();
  py::array_t<std::int32_t> component(static_cast<py::ssize_t>(r.run.secondaries.size() + 1));
  std::fill(component.mutable_data(), component.mutable_data() + component.size(), -1);
  for (std::size_t k = 0; k < parts.components.size(); ++k)
    for (const std::size_t i : parts.components[k]) component.mutable_at(rows[i]) = static_cast<std::int32_t>(k);
  out["component"] = component;
  for (const PairColumn& c : pair_columns())
    if (c.part == PairPart::network) {
      const Value v = c.value(PairRow{*r.network, Pair{}});
      const double* x = std::get_if<double>(&v);
      out[c.key] = x != nullptr ? *x : NAN;
    }
  const std::vector<Pair>& bridges = parts.bridges;
  const auto n = static_cast<py::ssize_t>(bridges.size());
  py::array_t<std::int32_t> first(n), second(n), days(n);
  py::array_t<bool> has_date(n);
  py::array_t<double> perpendicular(n), distance(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    const Pair& p = bridges[static_cast<std::size_t>(i)];
    first.mutable_at(i) = rows[p.first];
    second.mutable_at(i) = rows[p.second];
    has_date.mutable_at(i) = p.days.has_value();
    days.mutable_at(i) = p.days ? static_cast<std::int32_t>(*p.days) : 0;
    perpendicular.mutable_at(i) = p.perpendicular;
    distance.mutable_at(i) = network_distance(points, p.first, p.second, r.network->scale());
  }
  py::dict b;
  b["first"] = first;
  b["second"] = second;
  b["has_date"] = has_date;
  b["days"] = days;
  b["perpendicular_m"] = perpendicular;
  b["distance"] = distance;
  out["bridges"] = b;
  const NetworkSummary& summary = parts.summary;
  out["acquisitions"] = summary.acquisitions;
  out["pairs"] = summary.pairs;
  out["parts"] = parts.components.size();
  out["pairs_per_acquisition_min"] = summary.pairs_per_acquisition_min;
  out["pairs_per_acquisition_mean"] = summary.pairs_per_acquisition_mean;
  out["max_abs_perpendicular_m"] = summary.max_abs_perpendicular.value_or(NAN);
  out["max_abs_days"] = summary.max_abs_days ? py::object(py::int_(*summary.max_abs_days)) : py::object(py::none());
  out["mean_coherence"] = summary.mean_coherence.value_or(NAN);
  return out;
}

py::dict choices_dict(const RequestRun& r) {
  const auto date = [](const std::optional<long>& day) {
    return day ? py::object(py::str(day_text(day))) : py::object(py::none());
  };
  py::dict out;
  out["reference_choice"] = py::none();
  out["filtered"] = py::none();
  if (const std::optional<ReferenceChoice>& c = r.reference_choice) {
    py::dict choice;
    choice["criterion"] = criterion_name(c->used);
    choice["asked"] = criterion_name(c->asked);
    choice["geometry"] = text_of(c->geometry);
    py::list scores;
    for (const ReferenceChoice::Candidate& k : c->scores)
      scores.append(py::make_tuple(text_of(k.name), date(k.day), k.score));
    choice["scores"] = scores;
    out["reference_choice"] = choice;
  }
  if (r.filters) {
    py::list filtered;
    for (const FilteredAcquisition& f : r.filtered)
      filtered.append(py::make_tuple(text_of(f.name), date(f.day), f.filter));
    out["filtered"] = filtered;
  }
  return out;
}

namespace {

py::object text_or_none(const std::string* text) {
  if (text == nullptr || text->empty()) return py::none();
  return text_of(*text);
}
py::object whole_or_none(const std::optional<long>& n) { return n ? py::object(py::int_(*n)) : py::object(py::none()); }

py::object day_value(const std::optional<long>& day) {
  return py::module_::import("numpy").attr("datetime64")(day ? py::object(py::int_(*day)) : py::object(py::str("NaT")),
                                                         "D");
}
py::object time_value(const std::optional<UtcTime>& t) {
  return py::module_::import("numpy").attr("datetime64")(
      t ? py::object(py::int_(t->time_since_epoch().count())) : py::object(py::str("NaT")), "ns");
}

}  // namespace

py::dict reference_dict(const StackRequest& request, const RequestRun& r) {
  const StackRun& run = r.run;
  const Acquisition& a = run.reference;
  const ProductInfo* p = a.product ? &*a.product : nullptr;
  py::dict d;
  d["name"] = file_name_of(a.path);
  d["date"] = day_value(a.day);
  d["kind"] = kind_text(a);
  d["mission"] = text_or_none(p ? &p->mission : nullptr);
  d["absolute_orbit"] = whole_or_none(p ? p->absolute_orbit : std::nullopt);
  d["pass"] = text_or_none(p ? &p->pass : nullptr);
  d["swath"] = text_or_none(p ? &p->swath : nullptr);
  d["polarisation"] = text_or_none(p ? &p->polarisation : nullptr);
  const std::string burst = reference_burst_id(run);
  d["burst_id"] = text_or_none(burst.empty() ? nullptr : &burst);
  if (const ZeroDopplerReference* z = zero_doppler_of(run.view)) {
    const ZeroDopplerGeometry& v = z->view;
    d["geometry"] = "zero-doppler";
    d["relative_orbit"] = whole_or_none(z->relative_orbit);
    d["time"] = time_value(z->time);
    d["latitude_deg"] = degrees(v.target_geodetic.latitude);
    d["longitude_deg"] = degrees(v.target_geodetic.longitude);
    d["height_m"] = v.target_geodetic.height * metres_per_km;
    d["x_m"] = v.target[0] * metres_per_km;
    d["y_m"] = v.target[1] * metres_per_km;
    d["z_m"] = v.target[2] * metres_per_km;
    d["slant_range_m"] = v.slant_range * metres_per_km;
    d["look_side"] = z->look == LookSide::right ? "right" : "left";
    d["look_angle_deg"] = degrees(v.angles.look_angle);
    d["incidence_deg"] = degrees(v.angles.incidence);
    d["heading_deg"] = degrees(v.angles.heading);
    d["doppler_centroid_hz"] = z->doppler_centroid;
    d["doppler_rate_hz_per_s"] = NAN;
    d["wavelength_m"] = z->wavelength * metres_per_km;
    d["wavelength_source"] = keyword_text(z->wavelength_source);
    d["orbit_source"] = text_of(z->orbit_source);
    d["interpolation_error_m"] = v.interpolation_error * metres_per_km;
    return d;
  }
  const ReferenceGeometry& g = std::get<ReferenceGeometry>(run.view);
  d["geometry"] = "beam";
  d["relative_orbit"] = py::none();
  d["time"] = time_value(std::nullopt);
  d["latitude_deg"] = degrees(g.latitude);
  d["longitude_deg"] = degrees(g.longitude);
  d["height_m"] = g.height * metres_per_km;
  d["x_m"] = g.scene_point[0] * metres_per_km;
  d["y_m"] = g.scene_point[1] * metres_per_km;
  d["z_m"] = g.scene_point[2] * metres_per_km;
  d["slant_range_m"] = g.slant_range * metres_per_km;
  d["look_side"] = "right";
  d["look_angle_deg"] = degrees(g.off_nadir);
  d["incidence_deg"] = degrees(g.incidence);
  d["heading_deg"] = NAN;
  d["doppler_centroid_hz"] = g.doppler_centroid;
  d["doppler_rate_hz_per_s"] = g.doppler_rate;
  d["wavelength_m"] = g.wavelength * metres_per_km;
  // The beam view takes --wavelength, else --sensor's, else the settings'.
  const TargetOptions& target = request.stack.target;
  d["wavelength_source"] = target.wavelength ? "wavelength" : target.sensor_wavelength ? "sensor" : "settings";
  d["orbit_source"] = py::none();
  d["interpolation_error_m"] = NAN;
  return d;
}

}  // namespace bperp::python
