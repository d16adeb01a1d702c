// bperp-stack: baselines of a stack of SAR passes against one reference.
#include <cstdio>

#include "bperp/stack/command/stack_command.h"

int main(int argc, char** argv) {
  bperp::stack::end_cleanly_on_signals();
  return bperp::stack::stack_command(argc, argv, stdin, stdout, stderr);
}
