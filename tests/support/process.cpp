#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace test_support {

namespace {

using Clock = std::chrono::steady_clock;

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

// Milliseconds left until deadline, at least 0, for poll.
int millis_until(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Reads what is there on fd into sink; closes fd at end of file.
void drain(int& fd, std::string& sink) {
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      sink.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    close_fd(fd);  // end of file or a read error
    return;
  }
}

}  // namespace

ProcessResult run_process(const std::string& exe, const std::vector<std::string>& args,
                          const ProcessOptions& options) {
  ProcessResult result;
  // A child that exits without reading its input must not kill the test
  // with SIGPIPE; the child itself gets the default action back below.
  ::signal(SIGPIPE, SIG_IGN);

  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return result;
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]), ::close(in[1]);
    return result;
  }
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
    return result;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  if (options.stdout_path.empty())
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  else
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.stdout_path.c_str(),
                                     O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults, mask;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigemptyset(&mask);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &mask);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> words;
  words.push_back(options.argv0.empty() ? exe : options.argv0);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(in[0]), ::close(out[1]), ::close(err[1]);
  int to_child = in[1], from_out = out[0], from_err = err[0];
  if (spawned != 0) {
    close_fd(to_child), close_fd(from_out), close_fd(from_err);
    return result;
  }
  result.started = true;

  set_nonblocking(to_child);
  set_nonblocking(from_out);
  set_nonblocking(from_err);
  std::size_t written = 0;
  if (options.input.empty()) close_fd(to_child);

  Clock::time_point deadline =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(options.timeout_seconds));
  bool killed = false, signalled = false;
  while (from_out >= 0 || from_err >= 0) {
    pollfd fds[3];
    nfds_t n = 0;
    if (to_child >= 0) fds[n++] = {to_child, POLLOUT, 0};
    if (from_out >= 0) fds[n++] = {from_out, POLLIN, 0};
    if (from_err >= 0) fds[n++] = {from_err, POLLIN, 0};
    const bool watching = options.signal_when && !signalled;
    const int ready = ::poll(fds, n, watching ? std::min(1, millis_until(deadline)) : millis_until(deadline));
    if (ready < 0 && errno != EINTR) break;
    if (watching && !killed && options.signal_when()) {
      ::kill(pid, options.signal);
      signalled = true;
    }
    if (ready == 0 && Clock::now() >= deadline) {
      if (killed) break;  // it is gone but something still holds the pipes
      ::kill(pid, SIGKILL);
      killed = true;
      result.timed_out = true;
      deadline = Clock::now() + std::chrono::seconds(5);
      continue;
    }
    if (to_child >= 0) {
      const ssize_t w = ::write(to_child, options.input.data() + written,
                                options.input.size() - written);
      if (w > 0) written += static_cast<std::size_t>(w);
      if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == options.input.size())
        close_fd(to_child);  // all written, or the child closed its end
    }
    if (from_out >= 0) drain(from_out, result.out);
    if (from_err >= 0) drain(from_err, result.err);
    if (!killed && (result.out.size() > options.max_output || result.err.size() > options.max_output)) {
      ::kill(pid, SIGKILL);
      killed = true;
      result.too_much = true;
      deadline = Clock::now() + std::chrono::seconds(5);
    }
  }
  close_fd(to_child), close_fd(from_out), close_fd(from_err);

  int wait_status = 0;
  while (::waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (WIFEXITED(wait_status)) {
    result.exited = true;
    result.status = WEXITSTATUS(wait_status);
  } else if (WIFSIGNALED(wait_status)) {
    result.signal = WTERMSIG(wait_status);
  }
  return result;
}

std::string describe(const ProcessResult& r) {
  std::string s;
  if (!r.started)
    s = "not started";
  else if (r.timed_out)
    s = "killed after the deadline";
  else if (r.too_much)
    s = "killed for printing too much";
  else if (r.exited)
    s = "exit status " + std::to_string(r.status);
  else
    s = "ended by signal " + std::to_string(r.signal) + " (" + strsignal(r.signal) + ")";
  s += " after " + std::to_string(r.seconds) + " s";
  auto shown = [](const std::string& text) {
    return text.size() <= 2000 ? text : text.substr(0, 2000) + "...[" + std::to_string(text.size()) + " bytes]";
  };
  s += "\n--- stdout ---\n" + shown(r.out) + "\n--- stderr ---\n" + shown(r.err);
  return s;
}

}  // namespace test_support
