#include "stack_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace stack_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "bperp-stack-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
  const std::string p = path_ + "/" + name;
  std::ofstream f(p, std::ios::binary);
  f << text;
  return p;
}

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

RunResult run(const std::string& exe, const std::vector<std::string>& args) {
  TempDir capture;
  const std::string out_path = capture.path() + "/out", err_path = capture.path() + "/err";
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(exe.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  RunResult r;
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus))
    r.status = WEXITSTATUS(wstatus);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

RunResult run_stack(const std::vector<std::string>& args) { return run(BPERP_STACK_EXE, args); }
RunResult run_bperp(const std::vector<std::string>& args) { return run(BPERP_EXE, args); }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream s(line);
  for (std::string w; s >> w;) words.push_back(w);
  return words;
}

std::vector<std::vector<std::string>> read_csv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
      else if (c == '"') quoted = false;
      else field += c;
      continue;
    }
    if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n') {
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      any = false;
    } else if (c != '\r') {
      field += c;
      any = true;
    }
  }
  if (any) {
    record.push_back(field);
    records.push_back(record);
  }
  return records;
}

std::string state_vector_text(const std::string& header, const double* position,
                              const double* velocity) {
  char text[512];
  std::snprintf(text, sizeof text, "%s\n%.17g %.17g %.17g\n%.17g %.17g %.17g\n", header.c_str(),
                position[0], position[1], position[2], velocity[0], velocity[1], velocity[2]);
  return text;
}

}  // namespace stack_test
