"""The exceptions and the warning base of the package.

Every refusal is a bperp.Error, with .kind the name of its refusal kind (as
the JSON's error_kind gives it): a file that can't be opened or read is a
FileError (an OSError, with errno and filename; FileNotFoundError and
PermissionError by the errno), a bad option or one that clashes with the
input an OptionError, content that can't be used an InputError (both
ValueError), a pair network split under require_connected a
SplitNetworkError.
"""
from __future__ import annotations

import errno as _errno
from typing import Any, Optional


class Error(Exception):
    """Any refusal of bperp; .kind names its kind ("unreadable", "malformed",
    "option", ...)."""

    kind: Optional[str] = None


class OptionError(Error, ValueError):
    """A keyword's value refused, options that clash, or an option that the
    input cannot serve (a date it needs, a bandwidth)."""

    kind = "option"


class InputError(Error, ValueError):
    """An input whose content can't be used (kind: unknown_format,
    malformed, implausible, other_track, outside_orbit, uncertain, too_long,
    same_pass, outside_image)."""

    def __init__(self, message: str, kind: str = "malformed") -> None:
        super().__init__(message)
        self.kind = kind

    def __reduce__(self) -> Any:
        return (type(self), (self.args[0], self.kind))


class SplitNetworkError(Error, ValueError):
    """The pair network is split into parts and require_connected was
    given."""

    kind = "option"


class FileError(Error, OSError):
    """A file or folder that can't be opened, read or written: errno,
    strerror (the message) and filename as OSError has them."""

    kind = "unreadable"


class MissingFileError(FileError, FileNotFoundError):
    """A file or folder that does not exist."""


class FilePermissionError(FileError, PermissionError):
    """A file or folder this process may not read or write."""


class FileIsADirectoryError(FileError, IsADirectoryError):
    """A folder where a file belongs."""


class FileNotADirectoryError(FileError, NotADirectoryError):
    """A file where a folder belongs."""


_BY_ERRNO = {
    _errno.ENOENT: MissingFileError,
    _errno.EACCES: FilePermissionError,
    _errno.EPERM: FilePermissionError,
    _errno.EISDIR: FileIsADirectoryError,
    _errno.ENOTDIR: FileNotADirectoryError,
}


def file_error(number: int, message: str, filename: Any) -> FileError:
    """The FileError of errno number (its subclass for the common ones)."""
    return _BY_ERRNO.get(number, FileError)(number, message, filename)


class StackWarning(UserWarning):
    """Something a stack run tells that makes no input unusable; each kind
    its subclass (DuplicateFileWarning, SplitNetworkWarning, ...)."""


def failure_error(failure: tuple) -> Error:
    """The exception of a failure of the library: (kind, message, path,
    errno, split network)."""
    kind, message, path, number, split = failure
    if split:
        return SplitNetworkError(message)
    if number:
        return file_error(number, message, path)
    if kind == "option":
        return OptionError(message)
    return InputError(message, kind)


def translated(error: BaseException) -> BaseException:
    """A library call's OSError or ValueError as the package's Error."""
    if isinstance(error, Error):
        return error
    if isinstance(error, OSError) and error.errno:
        return file_error(error.errno, error.strerror or str(error), error.filename)
    if isinstance(error, ValueError):
        return InputError(str(error))
    return error
