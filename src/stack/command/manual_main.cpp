// bperp-stack-manual PAGE: the manual page PAGE with its option section
// made from the option table, on standard output (scripts/update-manual.sh
// writes it back to docs/bperp-stack.1).
#include <cstdio>
#include <fstream>
#include <sstream>

#include "bperp/stack/command/option_table.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: bperp-stack-manual PAGE\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::ostringstream page;
  page << in.rdbuf();
  if (!in) {
    std::fprintf(stderr, "bperp-stack-manual: can't read %s\n", argv[1]);
    return 1;
  }
  const std::string text = bperp::stack::manual_with_options(page.str());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}
