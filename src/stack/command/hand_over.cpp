// The static bperp-stack's parser and module loader: each hands the run
// over to bperp-stack-full (see hand_over.h). Linked into that program
// alone, in place of command_line.cpp and support/module_dlopen.cpp.
#include "bperp/stack/command/hand_over.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <signal.h>
#include <unistd.h>

#include "bperp/stack/command/command_line.h"
#include "bperp/stack/support/module_loader.h"

namespace bperp::stack {

namespace {

int kept_argc = 0;
const char* const* kept_argv = nullptr;
sigset_t kept_mask;
bool mask_kept = false;

// Executes bperp-stack-full in this process's place with its arguments and
// the signal mask it started with. Returns only when it can't, with why,
// a clause naming what the program was wanted for (what).
std::string hand_over(const std::string& what) {
  std::string looked, holder;
  const std::optional<std::string> path = find_beside_holder(full_program_name, ".", X_OK, &looked, &holder);
  if (!path)
    return std::string(full_program_name) + ", which " + what + ", is not installed beside " +
           (holder.empty() ? std::string("this program") : holder) + " (looked in " + looked + ")";
  if (kept_argv == nullptr) return std::string("no command line was kept to hand to ") + full_program_name;
  // A copy of this program under that name would hand over to itself for
  // ever.
  char real[PATH_MAX];
  if (::realpath(path->c_str(), real) != nullptr && holder_path() == real)
    return *path + " (which " + what + ") is a copy of this program, not the program it hands over to";
  std::vector<char*> args{const_cast<char*>(path->c_str())};
  for (int i = 1; i < kept_argc; ++i) args.push_back(const_cast<char*>(kept_argv[i]));
  args.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  if (mask_kept) ::sigprocmask(SIG_SETMASK, &kept_mask, nullptr);
  ::execv(path->c_str(), args.data());
  return "can't run " + *path + " (which " + what + "): " + std::strerror(errno);
}

}  // namespace

void keep_command_line(int argc, const char* const* argv) {
  kept_argc = argc;
  kept_argv = argv;
  mask_kept = ::sigprocmask(SIG_SETMASK, nullptr, &kept_mask) == 0;
}

int read_command_line(int, const char* const*, StackRequest&, std::FILE*, std::FILE* err) {
  print_usage_problem(err, hand_over("reads the options"));
  return 1;
}

LoadedModule load_module(const ModuleDescription& module, unsigned) {
  LoadedModule loaded;
  loaded.problem = hand_over(std::string("loads ") + module.file + " (" + module.library + ", Debian package " +
                             module.package + ")");
  return loaded;
}

}  // namespace bperp::stack
