// bperp: parallel and perpendicular baseline of two SAR passes.
#include <cstdio>

#include "bperp/app/command.h"

int main(int argc, char** argv) { return bperp::bperp_command(argc, argv, stdin, stdout, stderr); }
