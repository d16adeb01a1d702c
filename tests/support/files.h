// Files for the tests that run the executables: a fresh temporary directory
// per test, whole files written and read as bytes, state-vector files at
// full precision, and the lines of a printed text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name as a string.
  std::string file(const std::string& name) const;
  // Writes bytes to path() / name and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// Writes bytes to path (creating or truncating the file); throws when it
// can't.
void write_bytes(const std::string& path, const std::string& bytes);
// The file's whole content; throws when it can't be read.
std::string read_bytes(const std::string& path);

// A state-vector file's text: the header line, then the six numbers with
// %.17g (which reads back to the same doubles), one line for the position
// X Y Z (km), one for the velocity VX VY VZ (km/s).
std::string state_vector_text(const std::string& header, const double* position,
                              const double* velocity);

// The lines of text, split at '\n' and without it; a final line without
// '\n' counts, an empty text has none.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace test_support
