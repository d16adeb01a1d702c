// Fuzz target: the whole run, from two state-vector files to the printed
// baselines or the refusal.
//
// The input is the master file, the separator line "%%", then the slave file:
//   <master bytes> "\n%%\n" <slave bytes>
// (without a separator all of it is the master and the slave file is empty).
// Each input is run twice: through the library (reader, then run_baseline)
// and through the command itself on two in-memory files, and the two must
// tell the same story.
//
// A refused file or a failed run: exit status 1, a message naming the master
// (or, for a refused slave, the slave) file, and no result line.
// An accepted run: finite baselines printed as the command prints them, and
// a geometry that holds together, checked from the scene point T alone:
// - T at the slant range from the master: |T - P| = R;
// - T on the scene ellipsoid (a = 6378.137 km, b = 6356.7523141 km);
// - T to the right of the flight direction (the sensor looks right);
// - the law of sines in the triangle centre, P, T for the two angles of the
//   Doppler record: |P| sin(off-nadir) = |T| sin(incidence);
// - the baselines are the components of B = P_master - P_slave along the unit
//   look vector U = (T - P) / |T - P| and along the unit vector at right
//   angles to it in the plane of centre, P and T, away from the earth.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bperp/baseline/baseline_run.h"
#include "bperp/earth/rotation.h"
#include "bperp/app/command.h"
#include "fuzz_support.h"

namespace {

using bperp::BaselineRun;
using bperp::FileRead;
using bperp::RunStatus;
using namespace bperp::fuzz;

constexpr std::string_view kSeparator = "\n%%\n";

// Semi-axes of the scene ellipsoid (GRS80), km.
constexpr double kA = 6378.137;
constexpr double kB = 6356.7523141;

// An in-memory file that the command can open by name.
struct MemoryFile {
  int fd = -1;
  std::string path;

  explicit MemoryFile(const char* name) {
    fd = memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) violated("memfd_create gives a file", __FILE__, __LINE__);
    path = "/proc/self/fd/" + std::to_string(fd);
  }
  void hold(std::string_view bytes) const {
    if (ftruncate(fd, 0) != 0) violated("ftruncate empties the file", __FILE__, __LINE__);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
      if (n <= 0) violated("pwrite fills the file", __FILE__, __LINE__);
      done += static_cast<std::size_t>(n);
    }
  }
};

struct Printed {
  int status = -1;
  std::string out, err;
};

// The command "bperp master slave" with its output caught.
Printed run_command(const MemoryFile& master, const MemoryFile& slave) {
  Printed p;
  char* out_text = nullptr;
  char* err_text = nullptr;
  std::size_t out_size = 0, err_size = 0;
  std::FILE* out = open_memstream(&out_text, &out_size);
  std::FILE* err = open_memstream(&err_text, &err_size);
  std::FILE* in = memory_stream(nullptr, 0);
  if (out == nullptr || err == nullptr) violated("open_memstream gives a stream", __FILE__, __LINE__);
  const char* const argv[] = {"bperp", master.path.c_str(), slave.path.c_str(), nullptr};
  p.status = bperp::bperp_command(3, argv, in, out, err);
  std::fclose(in);
  std::fclose(out);
  std::fclose(err);
  p.out.assign(out_text, out_size);
  p.err.assign(err_text, err_size);
  std::free(out_text);
  std::free(err_text);
  return p;
}

// True when some line of text reads as a number: a result line.
bool has_number_line(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    char* stop = nullptr;
    std::strtod(line.c_str(), &stop);
    if (!line.empty() && stop != line.c_str() && *stop == '\0') return true;
    start = end + 1;
  }
  return false;
}

// The refusal as the user sees it: status 1, a message about `path` only on
// standard output, and no result line.
void check_refusal(const Printed& p, const std::string& path) {
  FUZZ_CHECK(p.status == 1);
  FUZZ_CHECK(p.err.empty());
  FUZZ_CHECK(!p.out.empty() && p.out.back() == '\n');
  FUZZ_CHECK(p.out.find(path) != std::string::npos);
  FUZZ_CHECK(!has_number_line(p.out));
}

double dot(const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }
double norm(const double* u) { return std::sqrt(dot(u, u)); }

void check_geometry(const bperp::StateVector& master, const bperp::StateVector& slave,
                    const BaselineRun& run) {
  const double* P = master.position;
  const double* T = run.scene_point;
  const double R = run.slant_range;
  FUZZ_CHECK(std::isfinite(run.parallel) && std::isfinite(run.perpendicular));
  FUZZ_CHECK(std::isfinite(R) && R > 0.0);
  FUZZ_CHECK(std::isfinite(T[0]) && std::isfinite(T[1]) && std::isfinite(T[2]));

  // T and P are held to about 1e-16 |P| each, so L = T - P and all that is
  // derived from its direction carry a relative error of about 1e-16 |P| / R
  // on top of their own: a master a metre above the ground has a slant range
  // of a metre, known only to a few 1e-9 of it.
  const double r = norm(P);
  const double lost = 1e-15 * r / R;

  // |T - P| = R.
  const double L[3] = {T[0] - P[0], T[1] - P[1], T[2] - P[2]};
  const double range = norm(L);
  FUZZ_CHECK(std::fabs(range - R) <= (1e-9 + lost) * R);

  // On the ellipsoid: |T| against the ellipsoid's radius in T's direction.
  const double on =
      std::sqrt((T[0] * T[0] + T[1] * T[1]) / (kA * kA) + (T[2] * T[2]) / (kB * kB));
  FUZZ_CHECK(std::fabs(on - 1.0) <= 1e-9);

  // Right of the flight direction: along (inertial velocity) x (up).
  const double w = bperp::run_omega;
  const double Vs[3] = {master.velocity[0] - w * P[1], master.velocity[1] + w * P[0],
                        master.velocity[2]};
  const double right[3] = {Vs[1] * P[2] - Vs[2] * P[1], Vs[2] * P[0] - Vs[0] * P[2],
                           Vs[0] * P[1] - Vs[1] * P[0]};
  FUZZ_CHECK(dot(L, right) > 0.0);

  // Law of sines in the triangle centre, P, T.
  const double t = norm(T);
  FUZZ_CHECK(std::fabs(r * std::sin(run.off_nadir) - t * std::sin(run.incidence)) <=
             (1e-7 + lost) * r);

  // The decomposition, rebuilt: U along L, V = P minus its part along U.
  const double U[3] = {L[0] / range, L[1] / range, L[2] / range};
  const double pu = dot(P, U);
  double V[3] = {P[0] - pu * U[0], P[1] - pu * U[1], P[2] - pu * U[2]};
  const double v = norm(V);
  for (double& c : V) c /= v;
  const double B[3] = {P[0] - slave.position[0], P[1] - slave.position[1],
                       P[2] - slave.position[2]};
  const double b = norm(B);
  if (std::isfinite(b)) {
    FUZZ_CHECK(std::fabs(run.parallel - dot(B, U)) <= (1e-9 + lost) * b + 1e-300);
    FUZZ_CHECK(std::fabs(run.perpendicular - dot(B, V)) <= (1e-9 + lost) * b + 1e-300);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const MemoryFile master_file("master"), slave_file("slave");

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = bytes.find(kSeparator);
  const std::string_view master_bytes = bytes.substr(0, cut);
  const std::string_view slave_bytes =
      cut == std::string_view::npos ? std::string_view() : bytes.substr(cut + kSeparator.size());
  const auto* m_data = reinterpret_cast<const std::uint8_t*>(master_bytes.data());
  const auto* s_data = reinterpret_cast<const std::uint8_t*>(slave_bytes.data());
  const Reading master = read_bytes(m_data, master_bytes.size());
  const Reading slave = read_bytes(s_data, slave_bytes.size());

  master_file.hold(master_bytes);
  slave_file.hold(slave_bytes);
  const Printed printed = run_command(master_file, slave_file);

  FUZZ_CHECK(master.status == FileRead::ok || master.status == FileRead::refused);
  FUZZ_CHECK(slave.status == FileRead::ok || slave.status == FileRead::refused);
  if (master.status == FileRead::refused) {
    FUZZ_CHECK(!master.problem.empty());
    check_refusal(printed, master_file.path);
    FUZZ_CHECK(printed.out.find(master.problem) != std::string::npos);
    return 0;
  }
  if (slave.status == FileRead::refused) {
    FUZZ_CHECK(!slave.problem.empty());
    check_refusal(printed, slave_file.path);
    FUZZ_CHECK(printed.out.find(slave.problem) != std::string::npos);
    return 0;
  }

  const BaselineRun run = bperp::run_baseline(master.vector, slave.vector);
  if (run.status != RunStatus::ok) {
    check_refusal(printed, master_file.path);
    return 0;
  }

  check_geometry(master.vector, slave.vector, run);
  char expected[1024];  // "%f" of a double needs up to 317 characters
  std::snprintf(expected, sizeof expected, "%f\n%f\n", run.parallel, run.perpendicular);
  FUZZ_CHECK(printed.status == 0);
  FUZZ_CHECK(printed.out == expected);
  FUZZ_CHECK(printed.err.empty());
  return 0;
}
