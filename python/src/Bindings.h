#ifndef DAZOZAZIDOREZERARO_PYTHON_BINDINGS_H
#define DAZOZAZIDOREZERARO_PYTHON_BINDINGS_H

#include <pybind11/pybind11.h>

/// @file
/// Each part of the extension module _native adds its classes and functions
/// here; the Python package around it is the interface users see.

namespace Core::GEOCOM::python {

void BindSession(pybind11::module_& module);
void BindCatalogue(pybind11::module_& module);
void BindSimulator(pybind11::module_& module);
void BindCapture(pybind11::module_& module);
void BindBaseline(pybind11::module_& module);
void BindSurvey(pybind11::module_& module);

}  // namespace Core::GEOCOM::python

#endif
