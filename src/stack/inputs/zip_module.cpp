// bperp-zip.so: libzip behind the table of zip_module.h. Plain C calls
// only: no C++ library, no exception leaves it.
#include <zip.h>

#include <cstdio>

#include "bperp/stack/inputs/zip_module.h"

namespace {

using bperp::stack::ZipModule;

void* open_descriptor(int fd, int* code) { return zip_fdopen(fd, ZIP_RDONLY, code); }

void* open_bytes(const void* data, std::uint64_t size, int* code) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  zip_t* archive = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  *code = zip_error_code_zip(&error);
  zip_error_fini(&error);
  if (archive == nullptr) zip_source_free(source);  // still the caller's when the open fails
  return archive;
}

void close(void* archive) { zip_discard(static_cast<zip_t*>(archive)); }

std::int64_t count(void* archive) { return zip_get_num_entries(static_cast<zip_t*>(archive), 0); }

const char* name(void* archive, std::uint64_t k) {
  return zip_get_name(static_cast<zip_t*>(archive), k, ZIP_FL_ENC_RAW);
}

const char* failure(void* archive) { return zip_strerror(static_cast<zip_t*>(archive)); }

void* open_member(void* archive, std::uint64_t k) { return zip_fopen_index(static_cast<zip_t*>(archive), k, 0); }

std::int64_t read_member(void* member, void* buffer, std::uint64_t size) {
  return zip_fread(static_cast<zip_file_t*>(member), buffer, size);
}

const char* member_failure(void* member) { return zip_file_strerror(static_cast<zip_file_t*>(member)); }

void close_member(void* member) { zip_fclose(static_cast<zip_file_t*>(member)); }

int open_failure(int code) {
  if (code == ZIP_ER_NOZIP) return bperp::stack::zip_not_an_archive;
  if (code == ZIP_ER_READ || code == ZIP_ER_SEEK || code == ZIP_ER_OPEN) return bperp::stack::zip_unreadable;
  return bperp::stack::zip_damaged;
}

void code_text(int code, char* text, std::size_t size) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::snprintf(text, size, "%s", zip_error_strerror(&error));
  zip_error_fini(&error);
}

constexpr ZipModule table{bperp::stack::zip_module_abi, open_descriptor, open_bytes, close, count, name,
                          failure, open_member, read_member, member_failure, close_member, open_failure,
                          code_text};

}  // namespace

extern "C" __attribute__((visibility("default"))) const void* bperp_zip_module() { return &table; }
