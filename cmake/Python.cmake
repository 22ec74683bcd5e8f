# Decides whether the Python package is built and for which Python.
#
# DAZO_BUILD_PYTHON: ON requires Python 3 with its headers and pybind11,
# OFF skips the package, AUTO (the default for the top-level project; a
# project that pulls this one in gets OFF) builds it when both are found.
# The package targets /usr/bin/python3, the system Python that Debian's
# pybind11 and python3-dev serve, unless Python_EXECUTABLE names another:
# a Python first on PATH (pyenv, a virtual environment) is not picked up by
# chance. The configure step says which one it targets.
# Under a sanitizer the extension would be loaded by a Python that does not
# carry the sanitizer's runtime, which it refuses: the package is built
# without sanitizers only.
if(PROJECT_IS_TOP_LEVEL AND DAZO_SANITIZERS STREQUAL "")
  set(dazo_python_default AUTO)
else()
  set(dazo_python_default OFF)
endif()
set(DAZO_BUILD_PYTHON ${dazo_python_default} CACHE STRING
  "Build the Python package: ON, OFF or AUTO (when Python and pybind11 are found)")
set_property(CACHE DAZO_BUILD_PYTHON PROPERTY STRINGS AUTO ON OFF)

set(DAZO_PYTHON_ENABLED OFF)
if(NOT DAZO_BUILD_PYTHON STREQUAL "OFF")
  if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
    set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH
      "The Python the package is built for")
  endif()
  find_package(Python 3.9 COMPONENTS Interpreter Development.Module)
  if(Python_FOUND)
    set(PYBIND11_FINDPYTHON ON)
    find_package(pybind11 2.6 CONFIG QUIET)
  endif()
  if(Python_FOUND AND pybind11_FOUND)
    set(DAZO_PYTHON_ENABLED ON)
    math(EXPR DAZO_PYTHON_NEXT_MINOR "${Python_VERSION_MINOR} + 1")
    message(STATUS "Python package: for ${Python_EXECUTABLE} "
      "(${Python_VERSION}), pybind11 ${pybind11_VERSION}")
  elseif(DAZO_BUILD_PYTHON STREQUAL "ON")
    message(FATAL_ERROR "DAZO_BUILD_PYTHON=ON needs Python 3.9 or later with "
      "its headers and pybind11 (Debian: python3-dev pybind11-dev); found "
      "Python: '${Python_EXECUTABLE}' ${Python_VERSION}, pybind11: "
      "${pybind11_FOUND}. Name another Python with -DPython_EXECUTABLE=...")
  else()
    message(STATUS "Python package: not built (needs python3-dev and "
      "pybind11-dev, or -DPython_EXECUTABLE=...)")
  endif()
endif()

# Where the package is installed, relative to the prefix: Debian's directory
# for modules of every Python 3 version.
set(DAZO_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
  "Where the Python package is installed, relative to the prefix")
