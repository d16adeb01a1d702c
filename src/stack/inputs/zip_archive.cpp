#include "bperp/stack/inputs/zip_archive.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>

#include "bperp/stack/support/bounded_file.h"

#if defined(BPERP_HAVE_LIBZIP)
#include <unistd.h>

#include "bperp/stack/inputs/zip_module.h"
#include "bperp/stack/support/module_loader.h"
#endif

namespace bperp::stack {

bool zip_file(const std::string& path) {
  std::size_t size = 0;
  const FileDescriptor file = open_regular(path, &size, nullptr);
  std::string head;
  return file.is_open() && read_bytes(file.get(), std::min<std::size_t>(size, zip_local_signature.size()), path, head,
                                      nullptr) &&
         looks_like_zip(head);
}

std::string zip_member_name(const std::string& archive, const std::string& member) {
  return archive + "!" + member;
}

bool zip_debris(std::string_view member) {
  if (member.starts_with("__MACOSX/")) return true;
  std::size_t start = 0;
  while (start < member.size()) {
    std::size_t end = member.find('/', start);
    if (end == std::string_view::npos) end = member.size();
    const std::string_view part = member.substr(start, end - start);
    if (part.starts_with("._") || part == ".DS_Store") return true;
    start = end + 1;
  }
  return false;
}

#if defined(BPERP_HAVE_LIBZIP)

namespace {

constexpr std::size_t mebibyte = std::size_t{1} << 20;

// Bytes of a message's size bound: "64 MiB".
std::string mebibytes(std::size_t bytes) { return std::to_string(bytes / mebibyte) + " MiB"; }

// Why a member's name could point outside a folder: an absolute path (a
// leading slash or backslash, a drive letter) or a ".." part; "" when it
// can't.
std::string unsafe_name(std::string_view name) {
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (name.starts_with('/') || name.starts_with('\\') || drive) return "an absolute path";
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return "a \"..\" part";
    start = end + 1;
  }
  return {};
}

// ---- The members' names as the archive's central directory writes them:
// libzip hands a name out as a C string with a NUL inside turned into a
// blank, so a NUL is looked for in the directory's own bytes. ----

// count bytes at offset into out; false when they can't all be read.
using RangeReader = std::function<bool(std::uint64_t offset, std::size_t count, std::string& out)>;

// The little-endian unsigned number of width bytes at bytes[at].
std::uint64_t little_endian(const std::string& bytes, std::size_t at, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

// The largest central directory looked through: 10,000 members with names
// of 1,600 bytes.
constexpr std::uint64_t max_directory_bytes = 16 * mebibyte;

struct CentralDirectory {
  std::uint64_t offset = 0, size = 0, count = 0;
};

// Where the central directory of an archive of size bytes lies, from its
// end record (and the zip64 one it points to); nullopt when they can't be
// found (libzip then judges the archive).
std::optional<CentralDirectory> central_directory(const RangeReader& read, std::uint64_t size) {
  constexpr std::size_t end_record = 22, longest_comment = 65535, locator = 20, zip64_record = 56;
  const std::size_t tail_size = static_cast<std::size_t>(std::min<std::uint64_t>(size, end_record + longest_comment));
  std::string tail;
  if (tail_size < end_record || !read(size - tail_size, tail_size, tail)) return std::nullopt;
  std::size_t at = tail.rfind(zip_empty_signature);
  while (at != std::string::npos && at + end_record > tail.size()) at = at == 0 ? std::string::npos : tail.rfind(zip_empty_signature, at - 1);
  if (at == std::string::npos) return std::nullopt;
  CentralDirectory d{little_endian(tail, at + 16, 4), little_endian(tail, at + 12, 4), little_endian(tail, at + 10, 2)};
  if (d.count != 0xFFFF && d.size != 0xFFFFFFFF && d.offset != 0xFFFFFFFF) return d;
  const std::uint64_t record_at = size - tail_size + at;
  std::string bytes;
  if (record_at < locator || !read(record_at - locator, locator, bytes) || !bytes.starts_with("PK\x06\x07"))
    return std::nullopt;
  if (!read(little_endian(bytes, 8, 8), zip64_record, bytes) || !bytes.starts_with("PK\x06\x06")) return std::nullopt;
  return CentralDirectory{little_endian(bytes, 48, 8), little_endian(bytes, 40, 8), little_endian(bytes, 32, 8)};
}

// The first member name of the central directory that holds a NUL byte,
// nullopt when none does or the directory can't be walked; ""
// and *too_large set when the directory is larger than it is read.
std::optional<std::string> name_with_nul(const RangeReader& read, std::uint64_t size, bool* too_large) {
  const std::optional<CentralDirectory> d = central_directory(read, size);
  if (!d) return std::nullopt;
  if (d->size > max_directory_bytes) {
    *too_large = true;
    return std::nullopt;
  }
  std::string directory;
  if (!read(d->offset, static_cast<std::size_t>(d->size), directory)) return std::nullopt;
  constexpr std::size_t header = 46;
  std::size_t at = 0;
  for (std::uint64_t k = 0; k < d->count && at + header <= directory.size(); ++k) {
    if (directory.compare(at, 4, "PK\x01\x02") != 0) return std::nullopt;
    const std::size_t name_length = little_endian(directory, at + 28, 2);
    const std::size_t rest = name_length + little_endian(directory, at + 30, 2) + little_endian(directory, at + 32, 2);
    if (at + header + name_length > directory.size()) return std::nullopt;
    const std::string_view name(directory.data() + at + header, name_length);
    if (name.find('\0') != std::string_view::npos) return std::string(name);
    at += header + rest;
  }
  return std::nullopt;
}

// False and *problem set when the archive named name names a member with a
// NUL byte, or its central directory is larger than it is read.
bool names_without_nul(const RangeReader& read, std::uint64_t size, const std::string& name, Refusal* problem) {
  bool too_large = false;
  const std::optional<std::string> nul = name_with_nul(read, size, &too_large);
  if (too_large)
    return refuse(problem, RefusalKind::malformed,
                  name + ": its list of members is larger than the " + mebibytes(max_directory_bytes) + " read");
  if (nul) return refuse(problem, RefusalKind::malformed, name + ": a member's name holds a NUL byte (" + *nul + ")");
  return true;
}

}  // namespace

namespace {

// libzip, through its module loaded at the first archive; null, and
// *problem set naming the archive, when the module can't be loaded.
const ZipModule* zip_library(const std::string& name, Refusal* problem) {
  static const LoadedModule loaded =
      load_module({"bperp-zip.so", "bperp_zip_module", "libzip", "libzip4"}, zip_module_abi);
  if (loaded.table == nullptr) refuse(problem, RefusalKind::unreadable, name + ": is a zip archive, and " + loaded.problem);
  return static_cast<const ZipModule*>(loaded.table);
}

}  // namespace

struct ZipArchive::Impl {
  std::string name;
  std::vector<std::string> members;
  const ZipModule* lib = nullptr;
  void* zip = nullptr;
  std::size_t spent = 0;  // bytes read from all members so far
  ~Impl() {
    if (zip != nullptr) lib->close(zip);
  }
};

namespace {

// libzip's text of an error code.
std::string zip_error_text(const ZipModule& lib, int code) {
  char text[256];
  lib.code_text(code, text, sizeof text);
  return text;
}

// The refusal of an archive libzip could not open with the error code.
bool open_failed(const ZipModule& lib, const std::string& name, int code, Refusal* problem) {
  const int failure = lib.open_failure(code);
  const RefusalKind kind = failure == zip_not_an_archive ? RefusalKind::unknown_format
                           : failure == zip_unreadable   ? RefusalKind::unreadable
                                                         : RefusalKind::malformed;
  return refuse(problem, kind, name + ": can't be read as a zip archive (" + zip_error_text(lib, code) + ")");
}

// The members of impl's archive, their count and names checked.
bool list_members(ZipArchive::Impl& impl, Refusal* problem) {
  const std::int64_t n = impl.lib->count(impl.zip);
  if (n < 0 || static_cast<std::uint64_t>(n) > max_zip_entries)
    return refuse(problem, RefusalKind::malformed,
                  impl.name + ": holds " + std::to_string(n) + " members; at most " +
                      std::to_string(max_zip_entries) + " are read");
  impl.members.reserve(static_cast<std::size_t>(n));
  for (std::int64_t k = 0; k < n; ++k) {
    const char* name = impl.lib->name(impl.zip, static_cast<std::uint64_t>(k));
    if (name == nullptr)
      return refuse(problem, RefusalKind::malformed, impl.name + ": member " + std::to_string(k + 1) + " has no name");
    if (const std::string why = unsafe_name(name); !why.empty())
      return refuse(problem, RefusalKind::malformed,
                    impl.name + ": the member " + name + " is named with " + why +
                        "; its members are read only below the archive's top");
    impl.members.emplace_back(name);
  }
  return true;
}

}  // namespace

ZipArchive::ZipArchive(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ZipArchive::~ZipArchive() = default;

std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path, Refusal* problem) {
  std::size_t size = 0;
  std::string why;
  FileDescriptor file = open_regular(path, &size, &why);
  if (!file.is_open()) {
    refuse(problem, RefusalKind::unreadable, why);
    return nullptr;
  }
  const ZipModule* lib = zip_library(path, problem);
  if (lib == nullptr) return nullptr;
  const int fd = file.get();
  const RangeReader read = [fd](std::uint64_t offset, std::size_t count, std::string& out) {
    out.assign(count, '\0');
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd, out.data() + done, count - done, static_cast<off_t>(offset + done));
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  };
  if (!names_without_nul(read, size, path, problem)) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->name = path;
  impl->lib = lib;
  int code = 0;
  impl->zip = lib->open_descriptor(fd, &code);
  if (impl->zip == nullptr) {
    open_failed(*lib, path, code, problem);
    return nullptr;
  }
  file.release();  // libzip's now, on success only
  if (!list_members(*impl, problem)) return nullptr;
  return std::unique_ptr<ZipArchive>(new ZipArchive(std::move(impl)));
}

std::unique_ptr<ZipArchive> ZipArchive::open_bytes(std::string_view bytes, const std::string& name,
                                                   Refusal* problem) {
  const ZipModule* lib = zip_library(name, problem);
  if (lib == nullptr) return nullptr;
  const RangeReader read = [bytes](std::uint64_t offset, std::size_t count, std::string& out) {
    if (offset > bytes.size() || count > bytes.size() - offset) return false;
    out.assign(bytes.substr(static_cast<std::size_t>(offset), count));
    return true;
  };
  if (!names_without_nul(read, bytes.size(), name, problem)) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->name = name;
  impl->lib = lib;
  int code = 0;
  impl->zip = lib->open_bytes(bytes.data(), bytes.size(), &code);
  if (impl->zip == nullptr) {
    open_failed(*lib, name, code, problem);
    return nullptr;
  }
  if (!list_members(*impl, problem)) return nullptr;
  return std::unique_ptr<ZipArchive>(new ZipArchive(std::move(impl)));
}

const std::string& ZipArchive::name() const { return impl_->name; }
const std::vector<std::string>& ZipArchive::members() const { return impl_->members; }

namespace {

// A member opened for reading, closed when it goes.
struct OpenMember {
  const ZipModule* lib;
  void* file = nullptr;
  ~OpenMember() {
    if (file != nullptr) lib->close_member(file);
  }
};

}  // namespace

bool ZipArchive::read(std::size_t k, std::string& out, Refusal* problem, std::size_t limit) {
  out.clear();
  const std::string member = zip_member_name(impl_->name, impl_->members.at(k));
  const std::size_t left = max_zip_archive_bytes - std::min(impl_->spent, max_zip_archive_bytes);
  limit = std::min(limit, max_zip_entry_bytes);
  const bool archive_bound = left < limit;
  limit = std::min(limit, left);
  const ZipModule& lib = *impl_->lib;
  OpenMember open{&lib, lib.open_member(impl_->zip, k)};
  if (open.file == nullptr)
    return refuse(problem, RefusalKind::malformed, member + ": can't be read (" + lib.failure(impl_->zip) + ")");
  char chunk[1 << 16];
  for (;;) {
    const std::int64_t n = lib.read_member(open.file, chunk, sizeof chunk);
    if (n < 0)
      return refuse(problem, RefusalKind::malformed,
                    member + ": can't be read (" + lib.member_failure(open.file) + ")");
    if (n == 0) break;
    const std::size_t got = static_cast<std::size_t>(n);
    impl_->spent += got;
    if (got > limit - out.size())
      return refuse(problem, RefusalKind::malformed,
                    archive_bound ? impl_->name + ": its members hold more than the " +
                                        mebibytes(max_zip_archive_bytes) + " read from one archive"
                                  : member + ": expands to more than the " + mebibytes(limit) +
                                        " read from one member");
    out.append(chunk, got);
  }
  return true;
}

bool ZipArchive::read_head(std::size_t k, std::size_t count, std::string& out, Refusal* problem) {
  out.clear();
  const std::string member = zip_member_name(impl_->name, impl_->members.at(k));
  count = std::min(count, max_zip_archive_bytes - std::min(impl_->spent, max_zip_archive_bytes));
  const ZipModule& lib = *impl_->lib;
  OpenMember open{&lib, lib.open_member(impl_->zip, k)};
  if (open.file == nullptr)
    return refuse(problem, RefusalKind::malformed, member + ": can't be read (" + lib.failure(impl_->zip) + ")");
  out.resize(count);
  std::size_t done = 0;
  while (done < count) {
    const std::int64_t n = lib.read_member(open.file, out.data() + done, count - done);
    if (n < 0)
      return refuse(problem, RefusalKind::malformed,
                    member + ": can't be read (" + lib.member_failure(open.file) + ")");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  impl_->spent += done;
  return true;
}

#else  // without libzip: every archive refused

struct ZipArchive::Impl {
  std::string name;
  std::vector<std::string> members;
};

namespace {

std::unique_ptr<ZipArchive> without_libzip(const std::string& name, Refusal* problem) {
  refuse(problem, RefusalKind::unknown_format,
         name + ": is a zip archive, and this bperp-stack was built without libzip (Debian package libzip-dev)");
  return nullptr;
}

}  // namespace

ZipArchive::ZipArchive(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ZipArchive::~ZipArchive() = default;
std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path, Refusal* problem) {
  return without_libzip(path, problem);
}
std::unique_ptr<ZipArchive> ZipArchive::open_bytes(std::string_view, const std::string& name, Refusal* problem) {
  return without_libzip(name, problem);
}
const std::string& ZipArchive::name() const { return impl_->name; }
const std::vector<std::string>& ZipArchive::members() const { return impl_->members; }
bool ZipArchive::read(std::size_t, std::string&, Refusal*, std::size_t) { return false; }
bool ZipArchive::read_head(std::size_t, std::size_t, std::string&, Refusal*) { return false; }

#endif

}  // namespace bperp::stack
