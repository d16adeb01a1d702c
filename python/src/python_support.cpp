#include "python_support.h"

#include <cerrno>

#include "bperp/io/file_descriptor.h"

namespace bperp::python {

bool is_path(const py::handle& object) {
  return py::isinstance<py::str>(object) || py::isinstance<py::bytes>(object) || py::hasattr(object, "__fspath__");
}

std::string path_of(const py::handle& object, const char* what) {
  if (!is_path(object))
    throw py::type_error(std::string(what) + " must be a path (str, bytes or os.PathLike), not " +
                         py::str(py::type::of(object)).cast<std::string>());
  const py::object encoded = py::module_::import("os").attr("fsencode")(object);
  std::string path = encoded.cast<std::string>();
  if (path.find('\0') != std::string::npos)
    throw py::value_error(std::string(what) + " holds an embedded null byte");
  return path;
}

py::str text_of(const std::string& text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "backslashreplace"));
}

py::str file_name_of(const std::string& path) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<py::ssize_t>(path.size())));
}

void raise_os_error(int error, const std::string& message, const std::string& path) {
  const py::object e = py::reinterpret_steal<py::object>(PyObject_CallFunction(
      PyExc_OSError, "iOO", error, text_of(message).ptr(), file_name_of(path).ptr()));
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e.ptr())), e.ptr());
  throw py::error_already_set();
}

void raise_value_error(const std::string& message) {
  PyErr_SetObject(PyExc_ValueError, text_of(message).ptr());
  throw py::error_already_set();
}

int open_error_of(const std::string& path) {
  errno = 0;
  const FileDescriptor file = open_without_waiting(path.c_str(), Reads::non_blocking);
  if (!file.is_open()) return errno != 0 ? errno : EIO;
  return 0;
}

namespace {

locale_t c_locale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

CLocaleHere::CLocaleHere() : previous_(uselocale(c_locale())) {}

CLocaleHere::~CLocaleHere() { uselocale(previous_); }

bool SignalCheck::operator()() {
  if (raised_) return true;
  constexpr auto interval = std::chrono::milliseconds(20);
  const auto now = std::chrono::steady_clock::now();
  if (now < next_) return false;
  next_ = now + interval;
  const py::gil_scoped_acquire gil;
  raised_ = PyErr_CheckSignals() != 0;
  return raised_;
}

void SignalCheck::rethrow() const {
  if (raised_) throw py::error_already_set();
}

}  // namespace bperp::python
