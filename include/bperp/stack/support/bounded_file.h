// Reading product files whole and bounded: opened without blocking (a FIFO
// never hangs the open), refused unless they are regular files, their size
// known before a byte is read so that a cap can be checked first.
#pragma once

#include <cstddef>
#include <string>

#include "bperp/io/file_descriptor.h"

namespace bperp::stack {

// path opened for reading; no descriptor and *problem set (naming path;
// problem may be null) when it cannot be opened or is no regular file,
// otherwise the descriptor and *size its length in bytes.
FileDescriptor open_regular(const std::string& path, std::size_t* size, std::string* problem);

// Up to size bytes of fd into out (fewer when the file ends first), without
// clearing the room first; false and *problem set, naming path, on a read
// error.
bool read_bytes(int fd, std::size_t size, const std::string& path, std::string& out, std::string* problem);

}  // namespace bperp::stack
