// The table of bperp-zip.so, the module that reads zip archives through
// libzip (loaded only when a run meets a zip archive): plain C types only,
// since the module and its loader may each carry their own C++ library.
// Archives and members are opaque handles; no function throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bperp::stack {

// The version of this table: raised whenever a member changes.
inline constexpr unsigned zip_module_abi = 1;

// What a libzip error code of an archive that could not be opened says.
enum ZipOpenFailure : int {
  zip_not_an_archive = 0,  // no zip archive at all
  zip_unreadable = 1,      // the file could not be opened, read or sought
  zip_damaged = 2          // anything else
};

struct ZipModule {
  unsigned abi;  // zip_module_abi
  // The archive read from the descriptor fd (the archive's own, and closed
  // by close, on success only), or from the size bytes at data (which must
  // outlive it); null and *code libzip's error code when it can't be opened.
  void* (*open_descriptor)(int fd, int* code);
  void* (*open_bytes)(const void* data, std::uint64_t size, int* code);
  void (*close)(void* archive);
  // The number of members (-1 on failure) and the name of member k as the
  // archive writes it (null when it has none).
  std::int64_t (*count)(void* archive);
  const char* (*name)(void* archive, std::uint64_t k);
  // The text of the archive's last failure.
  const char* (*failure)(void* archive);
  // Member k opened for reading (null on failure), up to size bytes of it
  // read into buffer (0 at its end, -1 on failure), the text of its last
  // failure, and closed.
  void* (*open_member)(void* archive, std::uint64_t k);
  std::int64_t (*read_member)(void* member, void* buffer, std::uint64_t size);
  const char* (*member_failure)(void* member);
  void (*close_member)(void* member);
  // What an open's error code says (a ZipOpenFailure), and its text into
  // text (size bytes, with the ending NUL).
  int (*open_failure)(int code);
  void (*code_text)(int code, char* text, std::size_t size);
};

}  // namespace bperp::stack
