#ifndef DAZOZAZIDOREZERARO_PYTHON_ERRORS_H
#define DAZOZAZIDOREZERARO_PYTHON_ERRORS_H

#include <DazoZazIdoRezeraro/host/Result.h>
#include <pybind11/pybind11.h>

namespace Core::GEOCOM::python {

/// The Python exception for the error, an instance of the class of
/// dazozazidorezeraro.errors that its kind maps to, carrying kind,
/// return_code and reply. Needs the GIL.
pybind11::object ErrorObject(const host::Error& error);

/// Raises ErrorObject(error) in Python. Needs the GIL.
[[noreturn]] void Raise(const host::Error& error);

/// Makes host::SessionError thrown through the binding raise its Python
/// exception.
void RegisterErrorTranslation();

}  // namespace Core::GEOCOM::python

#endif
