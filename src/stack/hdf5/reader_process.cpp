#include "bperp/stack/hdf5/reader_process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bperp/io/file_descriptor.h"
#include "bperp/stack/support/module_loader.h"
#include "bperp/stack/support/number_text.h"

// The folders, relative to the one of the program or shared object that
// holds this code, where the build and the installation put the reader:
// colon-separated, set by the build.
#ifndef BPERP_HDF5_READER_PLACES
#define BPERP_HDF5_READER_PLACES "."
#endif

namespace bperp::stack {

namespace {

// Seconds on the monotonic clock.
double now_seconds() {
  timespec t{};
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// fd duplicated to a number of 3 or more, close-on-exec (so that moving it
// to 0 or 1 in the child never meets itself there).
FileDescriptor high_copy(int fd) { return FileDescriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 3)); }

// posix_spawn's file actions and attributes, destroyed when they go.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// The child's descriptors: input on 0, output on 1, none other; every
// signal at its default and none blocked (the caller may ignore SIGPIPE or
// block signals, which a child would inherit).
bool prepare(SpawnSetup& s, int input, int output) {
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  bool ok = posix_spawn_file_actions_adddup2(&s.actions, input, 0) == 0 &&
            posix_spawn_file_actions_adddup2(&s.actions, output, 1) == 0 &&
            posix_spawn_file_actions_addclose(&s.actions, 2) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  ok = ok && posix_spawn_file_actions_addclosefrom_np(&s.actions, 3) == 0;
#endif
  return ok && posix_spawnattr_setsigmask(&s.attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(&s.attributes, &all) == 0 &&
         posix_spawnattr_setflags(&s.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
}

// Pointers to the texts, ended by a null pointer, as exec takes them.
std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> p;
  for (std::string& t : texts) p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

// Reads from fd into run.output until the end, more than max bytes or the
// deadline (monotonic seconds).
void read_output(int fd, std::size_t max, double deadline, ChildRun& run) {
  char chunk[1 << 16];
  while (true) {
    const double left = deadline - now_seconds();
    if (left <= 0.0) {
      run.timed_out = true;
      return;
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left * 1000.0) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;  // the deadline is checked again
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return;  // the end (or a broken pipe: what came is judged)
    if (run.output.size() + static_cast<std::size_t>(n) > max) {
      run.output_too_long = true;
      return;
    }
    run.output.append(chunk, static_cast<std::size_t>(n));
  }
}

// Waits for pid until the deadline, then kills it; its ending into run.
// A child already reaped by the system (the caller ignores SIGCHLD) counts
// as exited with status 0: its output says whether it finished.
void wait_for(pid_t pid, double deadline, bool kill_now, ChildRun& run) {
  if (kill_now) ::kill(pid, SIGKILL);
  int status = 0;
  while (true) {
    const pid_t got = ::waitpid(pid, &status, kill_now ? 0 : WNOHANG);
    if (got == pid) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      run.exited = true;
      run.status = 0;
      return;
    }
    if (now_seconds() >= deadline) {
      run.timed_out = true;
      ::kill(pid, SIGKILL);
      kill_now = true;
      continue;
    }
    const timespec pause{0, 1000000};  // 1 ms
    ::nanosleep(&pause, nullptr);
  }
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : WTERMSIG(status);
}

// A signal's name for a message.
std::string signal_text(int signal) {
  const char* name = signal == SIGSEGV   ? "SIGSEGV"
                     : signal == SIGBUS  ? "SIGBUS"
                     : signal == SIGABRT ? "SIGABRT"
                     : signal == SIGILL  ? "SIGILL"
                     : signal == SIGFPE  ? "SIGFPE"
                     : signal == SIGKILL ? "SIGKILL"
                     : signal == SIGTERM ? "SIGTERM"
                                         : nullptr;
  return "signal " + std::to_string(signal) + (name != nullptr ? std::string(", ") + name : "");
}

}  // namespace

ChildRun run_child(const std::string& executable, const std::vector<std::string>& arguments, int input_fd,
                   std::size_t max_output, double wall_seconds, const std::vector<std::string>& environment) {
  ChildRun run;
  run.wall_seconds = wall_seconds;
  const double deadline = now_seconds() + wall_seconds;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    run.failure = std::strerror(errno);
    return run;
  }
  FileDescriptor read_end(ends[0]), write_end(ends[1]);
  FileDescriptor input = high_copy(input_fd), output = high_copy(write_end.get());
  SpawnSetup setup;
  if (!input.is_open() || !output.is_open() || !prepare(setup, input.get(), output.get())) {
    run.failure = std::strerror(errno != 0 ? errno : EINVAL);
    return run;
  }
  std::vector<std::string> argv_texts{executable};
  argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env_texts = environment;
  const std::vector<char*> argv = pointers(argv_texts), envp = pointers(env_texts);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv.data(), envp.data());
  if (error != 0) {
    run.failure = std::strerror(error);
    return run;
  }
  run.started = true;
  // The child's copies alone stay open: its end ends the output.
  input = FileDescriptor();
  output = FileDescriptor();
  write_end = FileDescriptor();
  read_output(read_end.get(), max_output, deadline, run);
  read_end = FileDescriptor();
  wait_for(pid, deadline, run.timed_out || run.output_too_long, run);
  return run;
}

std::string reader_failure(const ChildRun& run, const std::string& executable) {
  if (!run.started) return "can't start the HDF5 reader " + executable + ": " + run.failure;
  if (run.output_too_long) return "the HDF5 reader wrote more than its reply may hold, and was stopped";
  if (run.timed_out)
    return "reading it took more than " + round_trip_text(run.wall_seconds) +
           " s, and the HDF5 reader was stopped (does it lead to a file that never ends?)";
  if (!run.exited && (run.status == SIGXCPU || run.status == SIGKILL))
    return "reading it took more than " + std::to_string(hdf5_reader_cpu_seconds) +
           " s of processor time, the HDF5 reader's bound";
  if (!run.exited) return "the HDF5 library crashed reading it (" + signal_text(run.status) + ")";
  if (run.status == hdf5_reader_out_of_memory)
    return "it asked for more than " + std::to_string(hdf5_reader_memory_bytes >> 30) +
           " GiB of memory, the HDF5 reader's bound";
  if (run.status != 0) return "the HDF5 reader ended with status " + std::to_string(run.status);
  return {};
}

std::optional<std::string> hdf5_reader_path(std::string* problem) {
  std::string looked, holder;
  std::optional<std::string> path = find_beside_holder(hdf5_reader_name, BPERP_HDF5_READER_PLACES, X_OK, &looked, &holder);
  if (!path && problem != nullptr)
    *problem = std::string(hdf5_reader_name) + ", the HDF5 reader, is not installed beside " +
               (holder.empty() ? std::string("this program") : holder) + " (looked in " + looked + ")";
  return path;
}

bool read_hdf5_items(int fd, const Hdf5Request& request, Hdf5Reply& reply, Refusal* refusal) {
  std::string problem;
  const std::optional<std::string> reader = hdf5_reader_path(&problem);
  if (!reader) return refuse(refusal, RefusalKind::unreadable, problem);
  const ChildRun run = run_child(*reader, request_arguments(request), fd, max_reply_bytes(request),
                                 hdf5_reader_wall_seconds, {"HDF5_USE_FILE_LOCKING=FALSE"});
  if (std::string failure = reader_failure(run, *reader); !failure.empty())
    return refuse(refusal, run.started ? RefusalKind::malformed : RefusalKind::unreadable, std::move(failure));
  if (!decode_reply(run.output, request, reply, &problem))
    return refuse(refusal, RefusalKind::malformed, "the HDF5 reader's reply is damaged: " + problem);
  return true;
}

}  // namespace bperp::stack
