#ifndef DAZOZAZIDOREZERARO_PYTHON_VALUES_H
#define DAZOZAZIDOREZERARO_PYTHON_VALUES_H

#include <DazoZazIdoRezeraro/host/Fields.h>
#include <pybind11/pybind11.h>

namespace Core::GEOCOM::python {

/// The value as a Python int, float, bool or str.
pybind11::object ToPython(const host::FieldValue& value);

/// The fields as a tuple of (name, value) pairs in wire order.
pybind11::tuple ToPython(const host::Fields& fields);

}  // namespace Core::GEOCOM::python

#endif
