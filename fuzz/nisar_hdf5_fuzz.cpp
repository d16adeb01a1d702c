// Fuzz target, structure-aware: HDF5 products written through the HDF5 API
// into a file in memory, in NISAR's layouts (RSLC, GSLC, the early SLC) and
// OPERA's, with fuzzed values, shapes and strings, then read as
// bperp-stack reads them: the reader process's reading of an open file
// (hdf5_items.h), its reply encoded and decoded, and the product's checks.
// Raw bytes mostly find faults inside the HDF5 library itself; valid files
// of strange content reach the checks of this project's code.
//
// The input is a list of choices, each a byte (or eight for a number); an
// input that runs out chooses the usual value, so the empty input is a
// valid NISAR RSLC. Besides surviving, every reply the reading gives must
// decode as the reply to its request, and the product must either be
// refused (malformed, one printable line) or hold what product_checks.h
// asks, with a NISAR format for a NISAR layout and its look side stated.
#include <hdf5.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bperp/stack/hdf5/hdf5_items.h"
#include "bperp/stack/inputs/hdf5_product.h"
#include "fuzz_support.h"
#include "product_checks.h"

namespace {

using namespace bperp::stack;

// The fuzzer's bytes as choices; once they run out, every choice is the usual one.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::size_t pick(std::size_t n) { return byte() % n; }
  // usual, or near it, or any double, or a value no product holds.
  double number(double usual) {
    switch (byte()) {
      case 1: return usual + (static_cast<double>(byte()) - 128.0) * 1e-3 * (usual == 0.0 ? 1.0 : usual);
      case 2: {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | byte();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
      }
      case 3: return NAN;
      case 4: return INFINITY;
      case 5: return 0.0;
      case 6: return -usual;
      default: return usual;
    }
  }
  // usual, or in other capitals, NUL-padded, cut, or any bytes.
  std::string text(const std::string& usual) {
    switch (byte()) {
      case 1: {
        std::string t = usual;
        for (char& c : t) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return t;
      }
      case 2: return usual + std::string(1 + pick(8), '\0');
      case 3: return usual.substr(0, pick(usual.size() + 1));
      case 4: {
        std::string t(pick(24), ' ');
        for (char& c : t) c = static_cast<char>(byte());
        return t;
      }
      default: return usual;
    }
  }
  bool dropped() { return byte() == 7; }
  // usual, or any count up to most.
  std::size_t count(std::size_t usual, std::size_t most) {
    const std::uint8_t b = byte();
    return b == 0 ? usual : b % (most + 1);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_, at_ = 0;
};

// Writes datasets and attributes into an open file, groups made on the way.
class Writer {
 public:
  explicit Writer(hid_t file) : file_(file), links_(H5Pcreate(H5P_LINK_CREATE)) {
    H5Pset_create_intermediate_group(links_, 1);
  }
  ~Writer() { H5Pclose(links_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void numbers(const std::string& path, const std::vector<double>& values, std::vector<hsize_t> dims,
               hid_t type = H5T_IEEE_F64LE) {
    hsize_t count = 1;
    for (const hsize_t d : dims) count *= d;
    if (count != values.size()) return;
    const hid_t space = dims.empty() ? H5Screate(H5S_SCALAR)
                                     : H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    if (ds >= 0 && !values.empty()) H5Dwrite(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data());
    if (ds >= 0) H5Dclose(ds);
    H5Sclose(space);
  }
  void text(const std::string& path, const std::string& value) {
    const hid_t type = string_type(value);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t ds = H5Dcreate2(file_, path.c_str(), type, space, links_, H5P_DEFAULT, H5P_DEFAULT);
    if (ds >= 0) {
      H5Dwrite(ds, type, H5S_ALL, H5S_ALL, H5P_DEFAULT, padded(value).data());
      H5Dclose(ds);
    }
    H5Sclose(space);
    H5Tclose(type);
  }
  void attribute(const std::string& path, const char* name, const std::string& value) {
    const hid_t object = H5Oopen(file_, path.c_str(), H5P_DEFAULT);
    if (object < 0) return;
    const hid_t type = string_type(value);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t a = H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
    if (a >= 0) {
      H5Awrite(a, type, padded(value).data());
      H5Aclose(a);
    }
    H5Sclose(space);
    H5Tclose(type);
    H5Oclose(object);
  }

 private:
  static hid_t string_type(const std::string& value) {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, std::max<std::size_t>(value.size(), 1));
    H5Tset_strpad(type, H5T_STR_NULLPAD);
    return type;
  }
  static std::string padded(const std::string& value) { return value.empty() ? std::string(1, '\0') : value; }
  hid_t file_, links_;
};

// A scalar that is a text or, as chosen, a number.
void label(Writer& w, Choices& c, const std::string& path, const std::string& usual, double as_number) {
  if (c.pick(5) == 4) w.numbers(path, {c.number(as_number)}, {});
  else w.text(path, c.text(usual));
}

// The product the choices describe, written into file.
void write_product(hid_t file, Choices& c, std::string& band) {
  Writer w(file);
  static const char* layouts[] = {"RSLC", "GSLC", "SLC", ""};
  const std::string layout = layouts[c.pick(4)];
  const std::string product = layout.empty() ? "" : "/science/LSAR/" + layout;
  const std::string orbit = product + "/metadata/orbit";
  const std::size_t n = c.count(6, 12), rows = n + (c.pick(8) == 7 ? 1 : 0), columns = c.pick(8) == 7 ? 4 : 3;
  std::vector<double> t, p, v;
  for (std::size_t k = 0; k < n; ++k) t.push_back(c.number(7180.0 + 10.0 * static_cast<double>(k)));
  for (std::size_t k = 0; k < rows * columns; ++k) {
    p.push_back(c.number(3.0e6 * static_cast<double>(k % 3 + 1) + 70000.0 * static_cast<double>(k / 3)));
    v.push_back(c.number(7000.0 + static_cast<double>(k % 3)));
  }
  w.numbers(orbit + "/time", t, {n});
  if (!c.dropped()) w.attribute(orbit + "/time", "units", c.text("seconds since 2024-01-02 00:00:00"));
  if (!c.dropped()) w.numbers(orbit + "/position", p, {rows, columns});
  if (!c.dropped()) w.numbers(orbit + "/velocity", v, {rows, columns});
  if (layout.empty()) {
    if (!c.dropped()) w.numbers("/metadata/processing_information/input_burst_metadata/wavelength", {c.number(0.0555)}, {});
    return;
  }
  band = c.pick(4) == 3 ? "B" : "A";
  const bool grids = layout == "GSLC";
  const std::string f = product + (grids ? "/grids/frequency" : "/swaths/frequency") + (c.pick(4) == 3 ? "B" : "A");
  if (!c.dropped()) w.numbers(f + (grids ? "/centerFrequency" : "/processedCenterFrequency"), {c.number(1.257e9)}, {});
  if (!c.dropped()) w.numbers(f + "/processedRangeBandwidth", {c.number(77e6)}, {});
  if (!c.dropped()) w.numbers(f + "/processedAzimuthBandwidth", {c.number(1200.0)}, {});
  const std::size_t m = c.count(3, 6);
  std::vector<double> a, b;
  for (std::size_t k = 0; k < m; ++k) {
    a.push_back(c.number((grids ? 600000.0 : 7200.5) + (grids ? 80.0 : 0.5) * static_cast<double>(k)));
    b.push_back(c.number((grids ? 8700000.0 : 900000.0) + (grids ? -80.0 : 10.0) * static_cast<double>(k)));
  }
  if (grids) {
    if (!c.dropped()) w.numbers(f + "/projection", {c.pick(3) == 2 ? c.number(32620.0) : 32620.0}, {}, H5T_STD_U32LE);
    if (!c.dropped()) w.numbers(f + "/xCoordinates", a, {m});
    if (!c.dropped()) w.numbers(f + "/yCoordinates", b, {m});
  } else {
    if (!c.dropped()) w.numbers(product + "/swaths/zeroDopplerTime", a, {m});
    if (!c.dropped())
      w.attribute(product + "/swaths/zeroDopplerTime", "units", c.text("seconds since 2024-01-02 00:00:00"));
    if (!c.dropped()) w.numbers(f + "/slantRange", b, {m});
  }
  const std::string id = "/science/LSAR/identification/";
  if (!c.dropped()) label(w, c, id + "lookDirection", "right", 1.0);
  if (!c.dropped()) label(w, c, id + "orbitPassDirection", "ascending", -12.5);
  if (!c.dropped()) label(w, c, id + "trackNumber", "77", 77.0);
  if (!c.dropped()) label(w, c, id + "frameNumber", "175", 175.0);
  if (!c.dropped()) label(w, c, id + "missionId", "NISAR", 10.0);
  if (!c.dropped()) label(w, c, id + "absoluteOrbitNumber", "1234", 1234.0);
  if (!c.dropped()) w.attribute("/", "mission_name", c.text("NISAR"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Choices choices(data, size);
  const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
  H5Pset_fapl_core(access, 1 << 16, 0);  // in memory, never written out
  const hid_t file = H5Fcreate("fuzz-nisar.h5", H5F_ACC_TRUNC, H5P_DEFAULT, access);
  H5Pclose(access);
  FUZZ_CHECK(file >= 0);
  std::string band = "A";
  write_product(file, choices, band);
  H5Fflush(file, H5F_SCOPE_LOCAL);

  const auto read = [&](const Hdf5Request& request, Hdf5Reply& reply, Refusal*) {
    const std::string bytes = encode_reply(request, read_hdf5_request(file, request));
    FUZZ_CHECK(bytes.size() <= max_reply_bytes(request));
    std::string why;
    FUZZ_CHECK(decode_reply(bytes, request, reply, &why));
    return true;
  };
  Refusal refusal;
  if (const std::optional<ProductInfo> p = hdf5_product_of(read, &refusal, "", band)) {
    bperp::fuzz::check_stated(*p);
    if (p->format != hdf5_product_format) FUZZ_CHECK(p->format.starts_with(nisar_format_prefix));
  } else {
    FUZZ_CHECK(refusal.kind == RefusalKind::malformed);
    FUZZ_CHECK(!refusal.text.empty() && bperp::fuzz::printable_line(refusal.text));
  }
  H5Fclose(file);
  return 0;
}
