// Zip archives as products are delivered in: read in place with libzip,
// member by member into memory, never unpacked to disk, and bounded so that
// no archive can make a run read without end: at most max_zip_entries
// members, max_zip_entry_bytes read from one, max_zip_archive_bytes from all
// of them together, whatever sizes the archive declares. Names that could
// point outside a folder (absolute paths, "..") or hide part of themselves
// (a NUL byte) refuse the archive.
//
// Built without libzip, every archive is refused with a message that says so.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bperp/stack/support/refusal.h"

namespace bperp::stack {

// The most members of an archive, and the most entries of a folder that is
// listed (a SAFE product's annotation folder, an orbit folder).
constexpr std::size_t max_zip_entries = 10000;
// The most bytes read from one member (an annotation is some 1 MB, a day's
// precise orbit file 4.5 MB) and from all members of one archive.
constexpr std::size_t max_zip_entry_bytes = std::size_t{64} << 20;
constexpr std::size_t max_zip_archive_bytes = std::size_t{256} << 20;

// The signatures a zip archive starts with: a member's local header, or the
// end record of an empty archive.
inline constexpr std::string_view zip_local_signature{"PK\x03\x04", 4};
inline constexpr std::string_view zip_empty_signature{"PK\x05\x06", 4};

// True when head, the first bytes of a file, starts like a zip archive.
constexpr bool looks_like_zip(std::string_view head) {
  return head.starts_with(zip_local_signature) || head.starts_with(zip_empty_signature);
}

// True when the regular file at path starts like a zip archive; false when
// it can't be opened or is anything else (opened without waiting).
bool zip_file(const std::string& path);

// How messages and orbit sources name a member of an archive: "ZIP!member".
std::string zip_member_name(const std::string& archive, const std::string& member);

// Whether a member is the debris of the system that packed the archive
// rather than part of the product: anything under __MACOSX/ (AppleDouble
// files, whose names end like the real ones), a name part starting with
// "._", and .DS_Store files.
bool zip_debris(std::string_view member);

class ZipArchive {
 public:
  // The archive in the regular file at path (opened without waiting, as
  // every input), or in bytes, which must outlive the archive; name begins
  // every message. Null and *problem set, naming it, when it can't be
  // opened or read (unreadable), is no zip archive (unknown_format), has
  // more than max_zip_entries members, or a member named with an absolute
  // path, a ".." part or a NUL byte (malformed).
  static std::unique_ptr<ZipArchive> open(const std::string& path, Refusal* problem);
  static std::unique_ptr<ZipArchive> open_bytes(std::string_view bytes, const std::string& name,
                                                Refusal* problem);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  const std::string& name() const;
  // The members' names in the archive's order, as the archive writes them
  // (folders end in '/').
  const std::vector<std::string>& members() const;

  // The bytes of member k into out, at most limit of them (never more than
  // max_zip_entry_bytes, nor than the archive's bound has left): false and
  // *problem set, naming the member, when it holds more, when it can't be
  // read (encrypted, damaged, a checksum that fails), or the archive's bound
  // is spent. The size the archive declares for the member is not trusted.
  bool read(std::size_t k, std::string& out, Refusal* problem, std::size_t limit = max_zip_entry_bytes);

  // The first bytes of member k, at most count of them (fewer when it is
  // shorter), for telling its kind; false and *problem when it can't be read.
  bool read_head(std::size_t k, std::size_t count, std::string& out, Refusal* problem);

  struct Impl;  // libzip's archive and what was read of it

 private:
  explicit ZipArchive(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace bperp::stack
