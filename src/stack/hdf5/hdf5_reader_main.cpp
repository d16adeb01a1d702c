// bperp-hdf5-reader: reads the items its arguments ask for (hdf5_reply.h)
// from the HDF5 file on its standard input and writes them as the reply on
// its standard output. It is the only part of the project that opens HDF5
// files, and it treats every one as hostile:
//  - before anything else it bounds itself: its address space, its processor
//    time, no core file, no file written; descriptors 3 and up are closed
//    and standard error goes nowhere (HDF5 prints nothing of its own);
//  - only a regular file is opened; links out of the file (external links)
//    are never followed, and datasets whose values lie outside it (external
//    storage, virtual datasets) or need a filter beyond HDF5's own are
//    refused before anything of them is read;
//  - each dataset's type size, extent and chunk size are checked against
//    what its item may hold before it is read;
//  - an allocation that fails (the memory bound reached) ends it with
//    hdf5_reader_out_of_memory, a refusal its caller words;
//  - after its reply it ends at once, without closing the library (whose
//    clean-up can itself fail on a damaged file).
// Exit status: 0 after a reply (the values, or its refusal of the file);
// hdf5_reader_usage for arguments that are no request; see hdf5_reply.h.
#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bperp/io/ascii_text.h"
#include "bperp/stack/hdf5/hdf5_items.h"
#include "bperp/stack/hdf5/hdf5_reply.h"
#include "bperp/stack/support/problem_text.h"

#if defined(__SANITIZE_ADDRESS__)
#define BPERP_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BPERP_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(BPERP_ADDRESS_SANITIZER)
// Under AddressSanitizer, a crash inside the HDF5 library (which is not
// instrumented) ends the reader by its signal, as it does in other builds,
// rather than by the sanitizer's report and exit status.
extern "C" const char* __asan_default_options() {
  return "handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigfpe=0:detect_leaks=0";
}
#endif

namespace bperp::stack {
namespace {

// ---- the process itself ----

void set_limit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  ::setrlimit(resource, &limit);
}

// The bounds the reader runs under. The address space is left alone under
// AddressSanitizer, whose shadow memory reserves far more than it uses.
void bound_itself() {
#if !defined(BPERP_ADDRESS_SANITIZER)
  set_limit(RLIMIT_AS, hdf5_reader_memory_bytes, hdf5_reader_memory_bytes);
#endif
  set_limit(RLIMIT_CPU, hdf5_reader_cpu_seconds, hdf5_reader_cpu_seconds + 1);
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_FSIZE, 0, 0);
  // It ends with the program that started it (killed by a signal, it has
  // no more use for the reply).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  constexpr rlim_t descriptors = 16;
  set_limit(RLIMIT_NOFILE, descriptors, descriptors);
}

// Standard error onto /dev/null when it is closed (so that no file the
// library opens lands on it), every descriptor from 3 up closed.
void own_descriptors() {
  if (::fcntl(2, F_GETFD) < 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0 && null != 2) {
      ::dup2(null, 2);
      ::close(null);
    }
  }
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

// The file on standard input opened with HDF5 (by its /proc name: HDF5
// opens files by name), and every item of request read from it; the
// refusal of the file when it can't be opened.
Hdf5Reply read_input(const Hdf5Request& request) {
  Hdf5Reply reply;
  struct stat st {};
  if (::fstat(0, &st) != 0 || !S_ISREG(st.st_mode)) {
    reply.refusal = "is no regular file";
    return reply;
  }
  const hid_t file = H5Fopen("/proc/self/fd/0", H5F_ACC_RDONLY, H5P_DEFAULT);
  if (file < 0) {
    reply.refusal = "HDF5 cannot open it (damaged or cut short?)" + hdf5_said();
    return reply;
  }
  return read_hdf5_request(file, request);
}

}  // namespace
}  // namespace bperp::stack

int main(int argc, char** argv) {
  using namespace bperp::stack;
  own_descriptors();
  try {
    std::string problem;
    const std::optional<Hdf5Request> request =
        request_from_arguments(std::vector<std::string>(argv + std::min(argc, 1), argv + argc), &problem);
    if (!request) {
      const std::string usage = std::string(argc > 0 ? argv[0] : "bperp-hdf5-reader") + ": " + problem +
                                "\nusage: bperp-hdf5-reader FORM PATH [NAME] ... < FILE.h5\n";
      write_all(2, usage);
      return hdf5_reader_usage;
    }
    bound_itself();
    // HDF5 prints nothing of its own and loads no filter plug-in.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    H5PLset_loading_state(0);
    const std::string reply = encode_reply(*request, read_input(*request));
    ::_exit(write_all(1, reply) ? 0 : 1);
  } catch (const std::bad_alloc&) {
    ::_exit(hdf5_reader_out_of_memory);
  }
}
