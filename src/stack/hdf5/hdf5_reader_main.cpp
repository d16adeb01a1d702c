// bperp-hdf5-reader: reads the items its arguments ask for (hdf5_reply.h)
// from the HDF5 file on its standard input and writes them as the reply on
// its standard output. It is the only part of the project that opens HDF5
// files, and it treats every one as hostile:
//  - before anything else it bounds itself: its address space, its processor
//    time, no core file, no file written; descriptors 3 and up are closed
//    and standard error goes nowhere (HDF5 prints nothing of its own);
//  - only a regular file is opened; links out of the file (external links)
//    are never followed, and datasets whose values lie outside it (external
//    storage, virtual datasets) or need a filter beyond HDF5's own are
//    refused before anything of them is read;
//  - each dataset's type size, extent and chunk size are checked against
//    what its item may hold before it is read;
//  - an allocation that fails (the memory bound reached) ends it with
//    hdf5_reader_out_of_memory, a refusal its caller words;
//  - after its reply it ends at once, without closing the library (whose
//    clean-up can itself fail on a damaged file).
// Exit status: 0 after a reply (the values, or its refusal of the file);
// hdf5_reader_usage for arguments that are no request; see hdf5_reply.h.
#include <hdf5.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bperp/io/ascii_text.h"
#include "bperp/stack/hdf5/hdf5_reply.h"
#include "bperp/stack/support/problem_text.h"

#if defined(__SANITIZE_ADDRESS__)
#define BPERP_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BPERP_ADDRESS_SANITIZER 1
#endif
#endif

#if defined(BPERP_ADDRESS_SANITIZER)
// Under AddressSanitizer, a crash inside the HDF5 library (which is not
// instrumented) ends the reader by its signal, as it does in other builds,
// rather than by the sanitizer's report and exit status.
extern "C" const char* __asan_default_options() {
  return "handle_segv=0:handle_sigbus=0:handle_abort=0:handle_sigfpe=0:detect_leaks=0";
}
#endif

namespace bperp::stack {
namespace {

// The largest chunk of a chunked dataset read (HDF5 holds a whole chunk to
// read any of it), bytes, and the widest number read.
constexpr hsize_t max_chunk_bytes = hsize_t{64} << 20;
constexpr std::size_t max_integer_bytes = 8, max_float_bytes = 16;
constexpr std::size_t xyz = 3;

// ---- the process itself ----

void set_limit(int resource, rlim_t soft, rlim_t hard) {
  const rlimit limit{soft, hard};
  ::setrlimit(resource, &limit);
}

// The bounds the reader runs under. The address space is left alone under
// AddressSanitizer, whose shadow memory reserves far more than it uses.
void bound_itself() {
#if !defined(BPERP_ADDRESS_SANITIZER)
  set_limit(RLIMIT_AS, hdf5_reader_memory_bytes, hdf5_reader_memory_bytes);
#endif
  set_limit(RLIMIT_CPU, hdf5_reader_cpu_seconds, hdf5_reader_cpu_seconds + 1);
  set_limit(RLIMIT_CORE, 0, 0);
  set_limit(RLIMIT_FSIZE, 0, 0);
  // It ends with the program that started it (killed by a signal, it has
  // no more use for the reply).
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  constexpr rlim_t descriptors = 16;
  set_limit(RLIMIT_NOFILE, descriptors, descriptors);
}

// Standard error onto /dev/null when it is closed (so that no file the
// library opens lands on it), every descriptor from 3 up closed.
void own_descriptors() {
  if (::fcntl(2, F_GETFD) < 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0 && null != 2) {
      ::dup2(null, 2);
      ::close(null);
    }
  }
  for (int fd = 3; fd < 1024; ++fd) ::close(fd);
}

bool write_all(int fd, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

[[noreturn]] void out_of_memory() { ::_exit(hdf5_reader_out_of_memory); }

// ---- what HDF5 said ----

struct Said {
  std::string innermost;
  bool memory = false;
};

herr_t look_at_error(unsigned n, const H5E_error2_t* e, void* data) {
  Said& said = *static_cast<Said*>(data);
  if (n == 0 && e->desc != nullptr) said.innermost = e->desc;
  if (e->maj_num == H5E_RESOURCE && (e->min_num == H5E_NOSPACE || e->min_num == H5E_CANTALLOC))
    said.memory = true;
  return 0;
}

// The innermost cause on HDF5's error stack as " (HDF5: ...)" for a
// message, "" when there is none. A failed allocation among the causes ends
// the reader (its memory bound was met).
std::string hdf5_said() {
  Said said;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, look_at_error, &said);
  if (said.memory) out_of_memory();
  if (said.innermost.empty()) return {};
  const std::string excerpt = quoted_excerpt(said.innermost, '\'');
  return " (HDF5: " + excerpt.substr(1, excerpt.size() - 2) + ")";
}

// A failure after an HDF5 call: *why set to text and what HDF5 said.
bool failed(std::string* why, const std::string& text) { return fail(why, text + hdf5_said()); }

// ---- HDF5 objects ----

// An HDF5 identifier that closes itself with its own close function.
class Handle {
 public:
  using Close = herr_t (*)(hid_t);
  Handle() = default;
  Handle(hid_t id, Close close) : id_(id), close_(close) {}
  Handle(Handle&& other) noexcept : id_(other.id_), close_(other.close_) { other.id_ = H5I_INVALID_HID; }
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      reset();
      id_ = other.id_;
      close_ = other.close_;
      other.id_ = H5I_INVALID_HID;
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { reset(); }

  hid_t get() const { return id_; }
  explicit operator bool() const { return id_ >= 0; }

 private:
  void reset() {
    if (id_ >= 0 && close_ != nullptr) close_(id_);
    id_ = H5I_INVALID_HID;
  }
  hid_t id_ = H5I_INVALID_HID;
  Close close_ = nullptr;
};

// Refuses every external link met while a path is followed (also one
// reached through a soft link), before its file is opened.
herr_t no_external_link(const char*, const char*, const char*, const char*, unsigned*, hid_t, void*) { return -1; }

// The open file and the access lists under which no external link is
// followed.
struct File {
  Handle file, links, datasets;
};

// A dataset or attribute with its type and dataspace, and its name in messages.
struct Item {
  Handle object, type, space;
  std::string name;
  bool attribute = false;
};

// Whether every link along path (absolute, "/a/b/c") is there, each
// checked before the next is looked up: a link out of the file is refused
// rather than followed. nullopt and *why set for such a link or a lookup
// that fails.
std::optional<bool> path_present(const File& f, const std::string& path, std::string* why) {
  for (std::size_t at = 0; at < path.size();) {
    std::size_t next = path.find('/', at + 1);
    if (next == std::string::npos) next = path.size();
    if (next > at + 1) {
      const std::string prefix = path.substr(0, next);
      const htri_t there = H5Lexists(f.file.get(), prefix.c_str(), f.links.get());
      if (there < 0) {
        failed(why, prefix + " cannot be looked up");
        return std::nullopt;
      }
      if (there == 0) return false;
      H5L_info_t info{};
      if (H5Lget_info(f.file.get(), prefix.c_str(), &info, f.links.get()) < 0) {
        failed(why, prefix + " cannot be looked up");
        return std::nullopt;
      }
      if (info.type == H5L_TYPE_EXTERNAL) {
        fail(why, prefix + " is an external link (into another file), which is not followed");
        return std::nullopt;
      }
      if (info.type != H5L_TYPE_HARD && info.type != H5L_TYPE_SOFT) {
        fail(why, prefix + " is a user-defined link, which is not followed");
        return std::nullopt;
      }
    }
    at = next;
  }
  return true;
}

// What item's values are, for a message: "text", "integers", "compound records", ...
std::string kind_text(const Item& item) {
  switch (H5Tget_class(item.type.get())) {
    case H5T_INTEGER:
      return "integers";
    case H5T_FLOAT:
      return "floating-point numbers";
    case H5T_STRING:
      return "text";
    case H5T_COMPOUND:
      return "compound records";
    case H5T_ARRAY:
      return "arrays";
    case H5T_VLEN:
      return "variable-length sequences";
    default:
      return "values of another kind";
  }
}

// True for a filter HDF5 carries itself (no plug-in is ever loaded).
bool own_filter(H5Z_filter_t filter) {
  return filter == H5Z_FILTER_DEFLATE || filter == H5Z_FILTER_SHUFFLE || filter == H5Z_FILTER_FLETCHER32 ||
         filter == H5Z_FILTER_SZIP || filter == H5Z_FILTER_NBIT || filter == H5Z_FILTER_SCALEOFFSET;
}

// False and *why set unless the dataset's values lie in the file in a form
// read without going elsewhere: no virtual dataset, no external storage, no
// filter but HDF5's own, chunks of at most max_chunk_bytes.
bool stored_inside(const Item& item, std::string* why) {
  const Handle create(H5Dget_create_plist(item.object.get()), H5Pclose);
  if (!create) return failed(why, item.name + " cannot be read");
  const H5D_layout_t layout = H5Pget_layout(create.get());
  if (layout == H5D_VIRTUAL)
    return fail(why, item.name + " is a virtual dataset (its values lie in other datasets), which is not read");
  if (H5Pget_external_count(create.get()) != 0)
    return fail(why, item.name + " keeps its values in external files, which are not read");
  if (layout != H5D_CHUNKED) return layout >= 0 || failed(why, item.name + " cannot be read");
  const int filters = H5Pget_nfilters(create.get());
  for (int k = 0; k < filters; ++k) {
    unsigned flags = 0, config = 0;
    std::size_t values = 0;
    char name[64] = {};
    const H5Z_filter_t filter =
        H5Pget_filter2(create.get(), static_cast<unsigned>(k), &flags, &values, nullptr, sizeof name, name, &config);
    if (!own_filter(filter))
      return fail(why, item.name + " needs the filter " + std::to_string(filter) +
                           ", which is no filter of HDF5's own; it is not read");
  }
  hsize_t chunk[H5S_MAX_RANK];
  const int rank = H5Pget_chunk(create.get(), H5S_MAX_RANK, chunk);
  if (rank < 0) return failed(why, item.name + " cannot be read");
  hsize_t bytes = H5Tget_size(item.type.get());
  for (int k = 0; k < rank; ++k) {
    if (chunk[k] != 0 && bytes > max_chunk_bytes / chunk[k])
      return fail(why, item.name + " is stored in chunks of more than " + std::to_string(max_chunk_bytes >> 20) +
                           " MiB, which are not read");
    bytes *= chunk[k];
  }
  return true;
}

// The dataset at path with its type and dataspace, its storage checked;
// nullopt and *why set when it is no dataset or stored elsewhere.
std::optional<Item> open_dataset(const File& f, const std::string& path, std::string* why) {
  Item item;
  item.name = path;
  item.object = Handle(H5Dopen2(f.file.get(), path.c_str(), f.datasets.get()), H5Dclose);
  if (item.object) item.type = Handle(H5Dget_type(item.object.get()), H5Tclose);
  if (item.type) item.space = Handle(H5Dget_space(item.object.get()), H5Sclose);
  if (!item.space) {
    failed(why, path + " is not a dataset");
    return std::nullopt;
  }
  if (!stored_inside(item, why)) return std::nullopt;
  return item;
}

// The dimensions of item's dataspace ({} for a scalar); nullopt and *why set
// for a null dataspace or more than max_values values.
std::optional<std::vector<hsize_t>> dimensions(const Item& item, std::size_t max_values, std::string* why) {
  const int rank = H5Sget_simple_extent_ndims(item.space.get());
  if (rank < 0 || H5Sget_simple_extent_type(item.space.get()) == H5S_NULL) {
    fail(why, item.name + " holds no data");
    return std::nullopt;
  }
  std::vector<hsize_t> dims(static_cast<std::size_t>(rank));
  if (rank > 0 && H5Sget_simple_extent_dims(item.space.get(), dims.data(), nullptr) != rank) {
    failed(why, item.name + " has no readable shape");
    return std::nullopt;
  }
  hsize_t values = 1;
  for (const hsize_t d : dims) {
    if (d != 0 && values > max_values / d) {
      fail(why, item.name + " holds more than " + std::to_string(max_values) + " values");
      return std::nullopt;
    }
    values *= d;
  }
  return dims;
}

// "12 x 3" of dims; "a single value" for a scalar.
std::string shape_text(const std::vector<hsize_t>& dims) {
  if (dims.empty()) return "a single value";
  std::string text;
  for (std::size_t i = 0; i < dims.size(); ++i) text += (i == 0 ? "" : " x ") + std::to_string(dims[i]);
  return text;
}

// False and *why set unless item's values are integers (or, unless
// integers_only, floating-point numbers) of a width that is read.
bool check_numbers(const Item& item, bool integers_only, std::string* why) {
  const H5T_class_t c = H5Tget_class(item.type.get());
  if (c != H5T_INTEGER && (c != H5T_FLOAT || integers_only))
    return fail(why, item.name + " holds " + kind_text(item) + ", not " + (integers_only ? "an integer" : "numbers"));
  const std::size_t size = H5Tget_size(item.type.get());
  const std::size_t widest = c == H5T_INTEGER ? max_integer_bytes : max_float_bytes;
  if (size == 0 || size > widest)
    return fail(why, item.name + " holds " + kind_text(item) + " of " + std::to_string(size) +
                         " bytes each; at most " + std::to_string(widest) + " are read");
  return true;
}

// True for dims of a single value: a scalar or a list of one.
bool single(const std::vector<hsize_t>& dims) { return dims.empty() || (dims.size() == 1 && dims[0] == 1); }

// The count numbers of item as doubles; nullopt and *why set when they
// cannot be read.
std::optional<std::vector<double>> read_doubles(const Item& item, std::size_t count, std::string* why) {
  std::vector<double> values(count);
  if (H5Dread(item.object.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, values.data()) < 0) {
    failed(why, item.name + " cannot be read as numbers");
    return std::nullopt;
  }
  return values;
}

// item's data read into buffer as memory type mem.
herr_t read_item(const Item& item, hid_t mem, void* buffer) {
  return item.attribute ? H5Aread(item.object.get(), mem, buffer)
                        : H5Dread(item.object.get(), mem, H5S_ALL, H5S_ALL, H5P_DEFAULT, buffer);
}

// A string type for memory like item's (its character set), of size bytes
// (H5T_VARIABLE for a variable-length string).
Handle string_type(const Item& item, std::size_t size) {
  Handle mem(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!mem || H5Tset_size(mem.get(), size) < 0 || H5Tset_cset(mem.get(), H5Tget_cset(item.type.get())) < 0 ||
      (size != H5T_VARIABLE && H5Tset_strpad(mem.get(), H5T_STR_NULLPAD) < 0))
    return Handle();
  return mem;
}

// The text of a variable-length string item; nullopt when it cannot be read.
std::optional<std::string> read_variable_text(const Item& item) {
  const Handle mem = string_type(item, H5T_VARIABLE);
  char* text = nullptr;
  if (!mem || read_item(item, mem.get(), &text) < 0) return std::nullopt;
  std::string value = text == nullptr ? "" : std::string(text, ::strnlen(text, max_hdf5_text_bytes));
  H5free_memory(text);
  return value;
}

// The text of a fixed-length string item, up to its first NUL; nullopt when
// it cannot be read.
std::optional<std::string> read_fixed_text(const Item& item, std::size_t size) {
  const Handle mem = string_type(item, size);
  std::string value(size, '\0');
  if (!mem || read_item(item, mem.get(), value.data()) < 0) return std::nullopt;
  value.resize(::strnlen(value.data(), size));
  return value;
}

// The text of item (a string, scalar or a list of one, at most
// max_hdf5_text_bytes), without blanks around it; nullopt and *why set
// otherwise.
std::optional<std::string> read_text(const Item& item, std::string* why) {
  if (H5Tget_class(item.type.get()) != H5T_STRING) {
    fail(why, item.name + " holds " + kind_text(item) + ", not text");
    return std::nullopt;
  }
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, max_hdf5_values, why);
  if (!dims) return std::nullopt;
  if (!single(*dims)) {
    fail(why, item.name + " is " + shape_text(*dims) + "; expected a single text");
    return std::nullopt;
  }
  const htri_t variable = H5Tis_variable_str(item.type.get());
  const std::size_t size = H5Tget_size(item.type.get());
  if (variable == 0 && (size == 0 || size > max_hdf5_text_bytes)) {
    fail(why, item.name + " is a text of " + std::to_string(size) + " bytes; at most " +
                  std::to_string(max_hdf5_text_bytes) + " are read");
    return std::nullopt;
  }
  const std::optional<std::string> text =
      variable > 0 ? read_variable_text(item) : (variable == 0 ? read_fixed_text(item, size) : std::nullopt);
  if (!text) {
    failed(why, item.name + " cannot be read as text");
    return std::nullopt;
  }
  return std::string(trimmed(*text));
}

// The numbers of a dataset of one dimension (list) or of N x 3 (rows of
// three), at most wanted.max_values of them.
std::optional<std::vector<double>> read_numbers(const Item& item, const Hdf5Item& wanted, std::string* why) {
  if (!check_numbers(item, false, why)) return std::nullopt;
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, wanted.max_values, why);
  if (!dims) return std::nullopt;
  if (wanted.form == Hdf5Form::list && dims->size() != 1) {
    fail(why, item.name + " is " + shape_text(*dims) + "; expected a list (one dimension)");
    return std::nullopt;
  }
  if (wanted.form == Hdf5Form::rows_of_three && (dims->size() != 2 || (*dims)[1] != xyz || (*dims)[0] == 0)) {
    fail(why, item.name + " is " + shape_text(*dims) + "; expected N x 3 (x, y, z of each vector)");
    return std::nullopt;
  }
  if ((*dims)[0] == 0) {
    fail(why, item.name + " is empty");
    return std::nullopt;
  }
  std::size_t count = 1;
  for (const hsize_t d : *dims) count *= static_cast<std::size_t>(d);
  return read_doubles(item, count, why);
}

// One number, or one integer read exactly, of a scalar or a list of one.
bool read_single(const Item& item, const Hdf5Item& wanted, Hdf5Value& value, std::string* why) {
  const bool integer = wanted.form == Hdf5Form::integer;
  if (!check_numbers(item, integer, why)) return false;
  const std::optional<std::vector<hsize_t>> dims = dimensions(item, max_hdf5_values, why);
  if (!dims) return false;
  if (!single(*dims)) return fail(why, item.name + " is " + shape_text(*dims) + "; expected a single value");
  if (integer) {
    if (H5Dread(item.object.get(), H5T_NATIVE_LLONG, H5S_ALL, H5S_ALL, H5P_DEFAULT, &value.integer) < 0)
      return failed(why, item.name + " cannot be read as an integer");
    return true;
  }
  std::optional<std::vector<double>> v = read_doubles(item, 1, why);
  if (!v) return false;
  value.numbers = std::move(*v);
  return true;
}

// The text attribute wanted.attribute of the dataset at wanted.path; no
// value when the dataset has no such attribute.
bool read_attribute(const Item& dataset, const Hdf5Item& wanted, std::optional<Hdf5Value>& value,
                    std::string* why) {
  const char* name = wanted.attribute.c_str();
  const htri_t there = H5Aexists(dataset.object.get(), name);
  if (there < 0) return failed(why, item_name(wanted) + " cannot be looked up");
  if (there == 0) return true;
  Item item;
  item.name = item_name(wanted);
  item.attribute = true;
  item.object = Handle(H5Aopen(dataset.object.get(), name, H5P_DEFAULT), H5Aclose);
  if (item.object) item.type = Handle(H5Aget_type(item.object.get()), H5Tclose);
  if (item.type) item.space = Handle(H5Aget_space(item.object.get()), H5Sclose);
  if (!item.space) return failed(why, item.name + " cannot be opened");
  std::optional<std::string> text = read_text(item, why);
  if (!text) return false;
  value = Hdf5Value{};
  value->text = std::move(*text);
  return true;
}

// The value of one wanted item into value (none when it is not in the
// file); false and *why set when it is there but cannot be read as asked.
bool read_wanted(const File& f, const Hdf5Item& wanted, std::optional<Hdf5Value>& value, std::string* why) {
  const std::optional<bool> present = path_present(f, wanted.path, why);
  if (!present) return false;
  if (!*present) return true;
  if (wanted.form == Hdf5Form::group) {
    value = Hdf5Value{};
    return true;
  }
  const std::optional<Item> item = open_dataset(f, wanted.path, why);
  if (!item) return false;
  Hdf5Value v;
  switch (wanted.form) {
    case Hdf5Form::list:
    case Hdf5Form::rows_of_three: {
      std::optional<std::vector<double>> numbers = read_numbers(*item, wanted, why);
      if (!numbers) return false;
      v.numbers = std::move(*numbers);
      break;
    }
    case Hdf5Form::number:
    case Hdf5Form::integer:
      if (!read_single(*item, wanted, v, why)) return false;
      break;
    case Hdf5Form::text: {
      std::optional<std::string> text = read_text(*item, why);
      if (!text) return false;
      v.text = std::move(*text);
      break;
    }
    case Hdf5Form::attribute_text:
      return read_attribute(*item, wanted, value, why);
    case Hdf5Form::group:
      break;
  }
  value = std::move(v);
  return true;
}

// The file on standard input opened with HDF5 (by its /proc name: HDF5
// opens files by name), with access lists that follow no external link.
std::optional<File> open_input(std::string* why) {
  struct stat st {};
  if (::fstat(0, &st) != 0 || !S_ISREG(st.st_mode)) {
    fail(why, "is no regular file");
    return std::nullopt;
  }
  File f;
  f.links = Handle(H5Pcreate(H5P_LINK_ACCESS), H5Pclose);
  f.datasets = Handle(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
  if (!f.links || !f.datasets || H5Pset_elink_cb(f.links.get(), no_external_link, nullptr) < 0 ||
      H5Pset_elink_cb(f.datasets.get(), no_external_link, nullptr) < 0) {
    failed(why, "HDF5 cannot be set up to read it");
    return std::nullopt;
  }
  f.file = Handle(H5Fopen("/proc/self/fd/0", H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
  if (!f.file) {
    failed(why, "HDF5 cannot open it (damaged or cut short?)");
    return std::nullopt;
  }
  return f;
}

// Every item of request read from the file on standard input, or the
// refusal of the file at the first item that cannot be read as asked.
Hdf5Reply read_request(const Hdf5Request& request) {
  Hdf5Reply reply;
  std::string why;
  const std::optional<File> f = open_input(&why);
  if (!f) {
    reply.refusal = why;
    return reply;
  }
  reply.values.resize(request.size());
  for (std::size_t k = 0; k < request.size(); ++k)
    if (!read_wanted(*f, request[k], reply.values[k], &why)) {
      reply.values.clear();
      reply.refusal = why;
      return reply;
    }
  return reply;
}

}  // namespace
}  // namespace bperp::stack

int main(int argc, char** argv) {
  using namespace bperp::stack;
  own_descriptors();
  try {
    std::string problem;
    const std::optional<Hdf5Request> request =
        request_from_arguments(std::vector<std::string>(argv + std::min(argc, 1), argv + argc), &problem);
    if (!request) {
      const std::string usage = std::string(argc > 0 ? argv[0] : "bperp-hdf5-reader") + ": " + problem +
                                "\nusage: bperp-hdf5-reader FORM PATH [NAME] ... < FILE.h5\n";
      write_all(2, usage);
      return hdf5_reader_usage;
    }
    bound_itself();
    // HDF5 prints nothing of its own and loads no filter plug-in.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    H5PLset_loading_state(0);
    const std::string reply = encode_reply(*request, read_request(*request));
    ::_exit(write_all(1, reply) ? 0 : 1);
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
}
