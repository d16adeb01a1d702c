#include "bperp/app/command.h"

#include <string>

#include "bperp/app/calc_bp1.h"
#include "bperp/io/ascii_text.h"
#include "bperp/numeric/fatal_error.h"

namespace bperp {

namespace {

// The longest file name taken from standard input, bytes.
constexpr std::size_t kMaxTypedName = 1 << 20;

enum class Word { ok, end, too_long, nul };

// One white-space-delimited word from in (as scanf's "%s" reads it).
Word read_word(std::FILE* in, std::string& word) {
  word.clear();
  int c;
  do c = std::getc(in);
  while (is_white_space(c));
  if (c == EOF) return Word::end;
  while (c != EOF && !is_white_space(c)) {
    if (c == '\0') return Word::nul;
    if (word.size() >= kMaxTypedName) return Word::too_long;
    word += static_cast<char>(c);
    c = std::getc(in);
  }
  return Word::ok;
}

// Reads the two names typed on standard input; on failure prints why.
bool read_names(std::FILE* in, std::FILE* out, std::string& master, std::string& slave) {
  for (std::string* name : {&master, &slave}) {
    switch (read_word(in, *name)) {
      case Word::ok:
        continue;
      case Word::end:
        std::fputs("standard input ended before two file names were read\n", out);
        return false;
      case Word::too_long:
        std::fprintf(out, "file name on standard input longer than %zu bytes\n", kMaxTypedName);
        return false;
      case Word::nul:
        std::fputs("file name on standard input holds a NUL byte\n", out);
        return false;
    }
  }
  return true;
}

}  // namespace

int bperp_command(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                  std::FILE* err) {
  std::string master, slave;
  if (argc == 1) {
    std::fputs("input file names, master and slave\t\n", out);
    std::fflush(out);
    if (!read_names(in, out, master, slave)) return 1;
  } else if (argc == 3) {
    master = argv[1];
    slave = argv[2];
  } else {
    std::fputs("argument error\n", out);
    std::fprintf(out, "USAGE%% %s [master-file slave-file] \n", argc > 0 ? argv[0] : "bperp");
    return 1;
  }

  double parallel = 0.0, perpendicular = 0.0;
  try {
    Calc_Bp1(master.c_str(), slave.c_str(), &parallel, &perpendicular);
  } catch (const FatalError& e) {
    std::fputs(e.text(), e.kind() == FatalKind::heap_exhausted ? err : out);
    return 1;
  }

  if (argc == 1)
    std::fprintf(out, "para%e perp%e\n", parallel, perpendicular);
  else
    std::fprintf(out, "%f\n%f\n", parallel, perpendicular);
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fputs("can't write the result to standard output\n", err);
    return 1;
  }
  return 0;
}

}  // namespace bperp
