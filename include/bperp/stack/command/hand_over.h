// bperp-stack as a static program, which starts in a fraction of the time
// a dynamic one takes: it runs the common command line, names alone, by
// itself, and hands every other run to bperp-stack-full, a dynamic program
// of the same library that parses options and loads the modules (libzip,
// cairo), by executing it in its own place with the same arguments: one
// process, its status the run's.
//
// The static program links, instead of the parser and the module loader,
// the definitions of read_command_line and load_module that hand over
// (command/hand_over.cpp). Either is reached before anything is written:
// a line of names alone reads no standard input and writes no file, and
// prints only when the run is over.
#pragma once

namespace bperp::stack {

// The program beside this one that runs what it hands over.
inline constexpr const char* full_program_name = "bperp-stack-full";

// Keeps main's arguments and the signal mask the process started with, for
// a hand-over later. argv must live as long as the process (main's does).
void keep_command_line(int argc, const char* const* argv);

}  // namespace bperp::stack
