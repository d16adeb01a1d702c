// bperp-stack: baselines of a stack of SAR passes against one reference.
// The static program: a line of names alone runs here; any other is handed
// to bperp-stack-full.
#include <cstdio>

#include "bperp/stack/command/hand_over.h"
#include "bperp/stack/command/stack_command.h"

int main(int argc, char** argv) {
  bperp::stack::keep_command_line(argc, argv);
  bperp::stack::end_cleanly_on_signals();
  return bperp::stack::stack_command(argc, argv, stdin, stdout, stderr);
}
