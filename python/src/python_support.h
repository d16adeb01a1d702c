// What every part of the compiled module shares: paths and texts between
// Python and the library, the C locale for a computation, and the check for
// Python's signals from a computation that runs without the GIL.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <chrono>
#include <clocale>
#include <string>

#include <locale.h>

namespace bperp::python {

namespace py = pybind11;

// True for a path argument: str, bytes or os.PathLike.
bool is_path(const py::handle& object);

// A path as the bytes os.fsencode makes of it (so that names that are not
// valid UTF-8 pass unchanged). TypeError for other types, ValueError for a
// NUL byte (as open() does); what names the argument in the messages.
std::string path_of(const py::handle& object, const char* what);

// A library text as a Python str: UTF-8, any byte that is not shown as
// \xhh.
py::str text_of(const std::string& text);

// A file name's bytes as os.fsdecode gives them back, so that the name
// joins with the paths given.
py::str file_name_of(const std::string& path);

// Raises OSError, with errno, message and filename (the subclass Python
// picks for errno: FileNotFoundError, PermissionError, ...).
[[noreturn]] void raise_os_error(int error, const std::string& message, const std::string& path);

// Raises ValueError with message.
[[noreturn]] void raise_value_error(const std::string& message);

// 0 when path can be opened for reading (a file or a folder), else the
// errno of the attempt.
int open_error_of(const std::string& path);

// The C locale in this thread while it lives (uselocale): every number a
// computation prints or reads, in an export as on standard output, is the
// same whatever locale the program set for its windows.
class CLocaleHere {
 public:
  CLocaleHere();
  ~CLocaleHere();
  CLocaleHere(const CLocaleHere&) = delete;
  CLocaleHere& operator=(const CLocaleHere&) = delete;

 private:
  locale_t previous_;
};

// Asked by a computation that released the GIL: takes the GIL at most every
// few tens of milliseconds to run Python's pending signal handlers
// (PyErr_CheckSignals). true once a handler raised (Ctrl-C: KeyboardInterrupt),
// the exception then set for rethrow() once the GIL is back.
class SignalCheck {
 public:
  bool operator()();
  bool raised() const { return raised_; }
  // Throws the handler's exception when one raised (with the GIL held).
  void rethrow() const;

 private:
  std::chrono::steady_clock::time_point next_{};
  bool raised_ = false;
};

}  // namespace bperp::python
