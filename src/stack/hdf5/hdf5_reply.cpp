#include "bperp/stack/hdf5/hdf5_reply.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "bperp/stack/support/problem_text.h"

namespace bperp::stack {

namespace {

constexpr std::string_view signature = "BPH5";
constexpr unsigned char version = 1;
constexpr char value_record = 'v', refusal_record = 'r', end_record = 'e';
constexpr std::size_t xyz = 3;

// Each form's word in the arguments; list and rows carry their bound.
struct FormWord {
  Hdf5Form form;
  std::string_view word;
  bool bounded;
};
constexpr FormWord form_words[] = {
    {Hdf5Form::group, "group", false},     {Hdf5Form::list, "list", true},
    {Hdf5Form::rows_of_three, "rows", true}, {Hdf5Form::number, "number", false},
    {Hdf5Form::integer, "integer", false}, {Hdf5Form::text, "text", false},
    {Hdf5Form::attribute_text, "attribute", false},
};

const FormWord& word_of(Hdf5Form form) {
  for (const FormWord& w : form_words)
    if (w.form == form) return w;
  return form_words[0];
}

bool is_text(Hdf5Form form) { return form == Hdf5Form::text || form == Hdf5Form::attribute_text; }

// ---- writing ----

void put_u16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void put_u32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_u64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void put_double(std::string& out, double v) { put_u64(out, std::bit_cast<std::uint64_t>(v)); }

void put_text(std::string& out, const std::string& text) {
  put_u32(out, static_cast<std::uint32_t>(text.size()));
  out += text;
}

// ---- reading: a cursor over the bytes that refuses to run past their end ----

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool done() const { return at_ == bytes_.size(); }
  bool take(std::size_t n, std::string_view& out) {
    if (bytes_.size() - at_ < n) return false;
    out = bytes_.substr(at_, n);
    at_ += n;
    return true;
  }
  bool u8(unsigned& v) {
    std::string_view b;
    if (!take(1, b)) return false;
    v = static_cast<unsigned char>(b[0]);
    return true;
  }
  bool u64_bytes(std::size_t n, std::uint64_t& v) {
    std::string_view b;
    if (!take(n, b)) return false;
    v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{static_cast<unsigned char>(b[i])} << (8 * i);
    return true;
  }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

bool read_u32(Cursor& c, std::uint32_t& v) {
  std::uint64_t w = 0;
  if (!c.u64_bytes(4, w)) return false;
  v = static_cast<std::uint32_t>(w);
  return true;
}

bool read_double(Cursor& c, double& v) {
  std::uint64_t w = 0;
  if (!c.u64_bytes(8, w)) return false;
  v = std::bit_cast<double>(w);
  return true;
}

// count doubles into out; false when the bytes end first.
bool read_doubles(Cursor& c, std::size_t count, std::vector<double>& out) {
  out.resize(count);
  for (double& v : out)
    if (!read_double(c, v)) return false;
  return true;
}

constexpr const char* cut_short = "it is cut short";

// A text of at most max bytes (at least one when required), into out.
bool read_text(Cursor& c, std::size_t max, bool required, std::string& out, std::string* problem) {
  std::uint32_t n = 0;
  std::string_view bytes;
  if (!read_u32(c, n) || n > max || !c.take(n, bytes))
    return fail(problem, n > max ? "it holds a text of " + std::to_string(n) + " bytes, more than " +
                                       std::to_string(max)
                                 : std::string(cut_short));
  if (required && n == 0) return fail(problem, "it holds an empty text");
  if (bytes.find('\0') != std::string_view::npos) return fail(problem, "it holds a text with a NUL byte");
  out.assign(bytes);
  return true;
}

// The value of item at the cursor, into value.
bool read_value(Cursor& c, const Hdf5Item& item, std::size_t index, Hdf5Value& value, std::string* problem) {
  const std::string which = "item " + std::to_string(index) + " (" + item_name(item) + ")";
  std::uint32_t n = 0;
  switch (item.form) {
    case Hdf5Form::group:
      return true;
    case Hdf5Form::list:
    case Hdf5Form::rows_of_three: {
      const std::size_t per = item.form == Hdf5Form::list ? 1 : xyz;
      if (!read_u32(c, n)) return fail(problem, cut_short);
      if (n == 0 || n > item.max_values / per)
        return fail(problem, which + " has a count of " + std::to_string(n) + ", not 1 to " +
                                 std::to_string(item.max_values / per));
      return read_doubles(c, std::size_t{n} * per, value.numbers) || fail(problem, cut_short);
    }
    case Hdf5Form::number:
      return read_doubles(c, 1, value.numbers) || fail(problem, cut_short);
    case Hdf5Form::integer: {
      std::uint64_t w = 0;
      if (!c.u64_bytes(8, w)) return fail(problem, cut_short);
      value.integer = std::bit_cast<long long>(w);
      return true;
    }
    case Hdf5Form::text:
    case Hdf5Form::attribute_text:
      return read_text(c, max_hdf5_text_bytes, false, value.text, problem);
  }
  return fail(problem, which + " has no form");
}

// A bound written after its form ("list:100"): the number, or nullopt.
std::optional<std::size_t> bound_of(std::string_view text) {
  std::size_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (error != std::errc{} || end != text.data() + text.size() || n == 0 || n > max_hdf5_values)
    return std::nullopt;
  return n;
}

}  // namespace

std::string item_name(const Hdf5Item& item) {
  return item.form == Hdf5Form::attribute_text ? item.path + " attribute " + item.attribute : item.path;
}

std::vector<std::string> request_arguments(const Hdf5Request& request) {
  std::vector<std::string> arguments;
  for (const Hdf5Item& item : request) {
    const FormWord& w = word_of(item.form);
    arguments.push_back(std::string(w.word) + (w.bounded ? ":" + std::to_string(item.max_values) : ""));
    arguments.push_back(item.path);
    if (item.form == Hdf5Form::attribute_text) arguments.push_back(item.attribute);
  }
  return arguments;
}

std::optional<Hdf5Request> request_from_arguments(const std::vector<std::string>& arguments,
                                                  std::string* problem) {
  Hdf5Request request;
  for (std::size_t k = 0; k < arguments.size();) {
    const std::string_view given = arguments[k];
    const std::string_view word = given.substr(0, given.find(':'));
    const FormWord* form = nullptr;
    for (const FormWord& w : form_words)
      if (w.word == word) form = &w;
    if (form == nullptr) {
      fail(problem, "unknown form " + quoted_excerpt(given, '\''));
      return std::nullopt;
    }
    Hdf5Item item;
    item.form = form->form;
    if (form->bounded) {
      const std::optional<std::size_t> bound =
          word.size() < given.size() ? bound_of(given.substr(word.size() + 1)) : std::nullopt;
      if (!bound) {
        fail(problem, quoted_excerpt(given, '\'') + " needs a bound of 1 to " + std::to_string(max_hdf5_values));
        return std::nullopt;
      }
      item.max_values = *bound;
    } else if (word.size() != given.size()) {
      fail(problem, quoted_excerpt(given, '\'') + " takes no bound");
      return std::nullopt;
    }
    const std::size_t needed = item.form == Hdf5Form::attribute_text ? 3 : 2;
    if (arguments.size() - k < needed) {
      fail(problem, std::string(word) + " needs a path" + (needed == 3 ? " and a name" : ""));
      return std::nullopt;
    }
    item.path = arguments[k + 1];
    if (needed == 3) item.attribute = arguments[k + 2];
    if (!item.path.starts_with('/') || item.path.size() > max_hdf5_path_bytes ||
        item.attribute.size() > max_hdf5_path_bytes || (needed == 3 && item.attribute.empty())) {
      fail(problem, quoted_excerpt(item.path, '\'') + " is no absolute path of at most " +
                        std::to_string(max_hdf5_path_bytes) + " bytes");
      return std::nullopt;
    }
    request.push_back(std::move(item));
    k += needed;
  }
  if (request.empty() || request.size() > max_hdf5_items) {
    fail(problem, std::to_string(request.size()) + " items asked for; 1 to " + std::to_string(max_hdf5_items) +
                      " are read");
    return std::nullopt;
  }
  return request;
}

std::size_t max_reply_bytes(const Hdf5Request& request) {
  constexpr std::size_t head = 8;  // a record's kind, index and count
  std::size_t bytes = signature.size() + 2 + head + max_hdf5_text_bytes;
  for (const Hdf5Item& item : request) {
    bytes += head;
    if (item.form == Hdf5Form::list || item.form == Hdf5Form::rows_of_three)
      bytes += item.max_values * sizeof(double);
    else if (is_text(item.form))
      bytes += max_hdf5_text_bytes;
    else
      bytes += sizeof(double);
  }
  return bytes;
}

std::string encode_reply(const Hdf5Request& request, const Hdf5Reply& reply) {
  std::string out(signature);
  out.push_back(static_cast<char>(version));
  if (reply.refusal) {
    out.push_back(refusal_record);
    put_text(out, *reply.refusal);
  } else {
    for (std::size_t k = 0; k < request.size() && k < reply.values.size(); ++k) {
      if (!reply.values[k]) continue;
      const Hdf5Value& v = *reply.values[k];
      out.push_back(value_record);
      put_u16(out, static_cast<std::uint16_t>(k));
      switch (request[k].form) {
        case Hdf5Form::group:
          break;
        case Hdf5Form::list:
        case Hdf5Form::rows_of_three:
          put_u32(out, static_cast<std::uint32_t>(
                           request[k].form == Hdf5Form::list ? v.numbers.size() : v.numbers.size() / xyz));
          for (const double x : v.numbers) put_double(out, x);
          break;
        case Hdf5Form::number:
          put_double(out, v.numbers.empty() ? 0.0 : v.numbers.front());
          break;
        case Hdf5Form::integer:
          put_u64(out, static_cast<std::uint64_t>(v.integer));
          break;
        case Hdf5Form::text:
        case Hdf5Form::attribute_text:
          put_text(out, v.text);
          break;
      }
    }
  }
  out.push_back(end_record);
  return out;
}

bool decode_reply(std::string_view bytes, const Hdf5Request& request, Hdf5Reply& reply, std::string* problem) {
  reply = Hdf5Reply{};
  reply.values.resize(request.size());
  Cursor c(bytes);
  std::string_view head;
  unsigned v = 0;
  if (!c.take(signature.size(), head) || head != signature || !c.u8(v))
    return fail(problem, bytes.empty() ? "it is empty" : "it does not start with the reply's signature");
  if (v != version)
    return fail(problem, "it is of version " + std::to_string(v) + ", not " + std::to_string(version));
  std::size_t next = 0;  // the lowest index the next value may have
  for (bool values = false;;) {
    unsigned kind = 0;
    if (!c.u8(kind)) return fail(problem, "it has no end");
    if (kind == end_record) break;
    if (kind == refusal_record) {
      std::string text;
      if (values || reply.refusal) return fail(problem, "it holds a refusal together with values");
      if (!read_text(c, max_hdf5_text_bytes, true, text, problem)) return false;
      if (text.find_first_of("\r\n") != std::string::npos)
        return fail(problem, "its refusal is more than one line");
      reply.refusal = std::move(text);
      continue;
    }
    if (kind != value_record)
      return fail(problem, "it holds a record of unknown kind " + std::to_string(kind));
    if (reply.refusal) return fail(problem, "it holds a refusal together with values");
    std::uint64_t index = 0;
    if (!c.u64_bytes(2, index)) return fail(problem, cut_short);
    if (index >= request.size() || index < next)
      return fail(problem, "it holds item " + std::to_string(index) + (index >= request.size()
                                                                          ? ", of " + std::to_string(request.size()) + " asked for"
                                                                          : " out of order"));
    Hdf5Value value;
    if (!read_value(c, request[index], index, value, problem)) return false;
    reply.values[index] = std::move(value);
    next = index + 1;
    values = true;
  }
  if (!c.done()) return fail(problem, "it has bytes after its end");
  return true;
}

}  // namespace bperp::stack
