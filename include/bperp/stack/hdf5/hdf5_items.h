// Reading the items of a request (hdf5_reply.h) from an open HDF5 file, as
// bperp-hdf5-reader does once it has opened its file, with every check it
// makes on a file it treats as hostile:
//  - every link along a path is checked before the next is looked up, and
//    links out of the file (external links) or of user-defined kinds are
//    refused rather than followed;
//  - datasets whose values lie outside the file (external storage, virtual
//    datasets) or need a filter beyond HDF5's own are refused before
//    anything of them is read;
//  - each dataset's type size, extent and chunk size are checked against
//    what its item may hold before it is read.
// Compiled against the HDF5 C library, which its users link: the reader
// process, and the fuzz target that writes products in memory.
#pragma once

#include <hdf5.h>

#include <string>

#include "bperp/stack/hdf5/hdf5_reply.h"

namespace bperp::stack {

// Every item of request read from file (an open HDF5 file), or the refusal
// of the file (one line, without its name) at the first item that cannot
// be read as asked. A failed allocation inside HDF5 ends the process with
// hdf5_reader_out_of_memory.
Hdf5Reply read_hdf5_request(hid_t file, const Hdf5Request& request);

// The innermost cause on HDF5's error stack as " (HDF5: ...)" for a
// message, "" when there is none. A failed allocation among the causes ends
// the process with hdf5_reader_out_of_memory (its memory bound was met).
std::string hdf5_said();

}  // namespace bperp::stack
