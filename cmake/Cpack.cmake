# Debian packages, one per install component, each declared by one
# dazo_package() call below: the shared libraries (runtime), what building
# against them needs (development), the geocom tool with its man page,
# completion and format descriptions (tools), and the HTML reference (doc,
# with DAZO_BUILD_DOCS). scripts/package configures with
# CMAKE_INSTALL_PREFIX=/usr, so the library directory follows GNUInstallDirs'
# Debian layout (lib/<multiarch triplet>).
set(DAZO_PACKAGE_MAINTAINER
  "The DazoZazIdoRezeraro developers <maintainers@dazozazidorezeraro.invalid>"
  CACHE STRING "Maintainer field of the Debian packages")

set(dazo_package_components)
# What scripts/package adds to each control file (CPack writes no
# Multi-Arch field): "PACKAGE MULTI-ARCH" per line.
set(dazo_package_fields "")

# Every package's documentation folder: the licence as Debian's copyright
# file, and the changelog, compressed when the build is configured (and
# again whenever CHANGELOG.md changes), so that installing any component
# works after building any target.
set(dazo_changelog ${PROJECT_BINARY_DIR}/changelog.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
execute_process(COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  OUTPUT_FILE ${dazo_changelog} COMMAND_ERROR_IS_FATAL ANY)

# dazo_package(COMPONENT NAME SECTION MULTI_ARCH DESCRIPTION
#              [DEPENDS COMPONENT...] [PACKAGE_DEPENDS TEXT] [ALL_ARCHITECTURES]
#              [SHLIBDEPS])
# One package of the install component: its name, section, Multi-Arch
# field, description (synopsis on the first line), the packages of other
# components it needs at exactly this version, other dependencies, and
# whether dpkg-shlibdeps works out the libraries its binaries need.
function(dazo_package component)
  cmake_parse_arguments(PARSE_ARGV 1 arg "ALL_ARCHITECTURES;SHLIBDEPS"
    "NAME;SECTION;MULTI_ARCH;DESCRIPTION;PACKAGE_DEPENDS" "DEPENDS")
  string(TOUPPER ${component} upper)
  set(prefix CPACK_DEBIAN_${upper})
  set(${prefix}_PACKAGE_NAME ${arg_NAME} PARENT_SCOPE)
  set(${prefix}_PACKAGE_SECTION ${arg_SECTION} PARENT_SCOPE)
  set(${prefix}_DESCRIPTION "${arg_DESCRIPTION}" PARENT_SCOPE)
  set(CPACK_COMPONENT_${upper}_DEPENDS ${arg_DEPENDS} PARENT_SCOPE)
  if(arg_ALL_ARCHITECTURES)
    set(${prefix}_PACKAGE_ARCHITECTURE all PARENT_SCOPE)
  endif()
  set(depends "${arg_PACKAGE_DEPENDS}")
  if(arg_SHLIBDEPS)
    if(DAZO_DPKG_SHLIBDEPS)
      set(${prefix}_PACKAGE_SHLIBDEPS ON PARENT_SCOPE)
    else()
      string(JOIN ", " depends libc6 libgcc-s1 libstdc++6 ${depends})
    endif()
  endif()
  if(depends)
    set(${prefix}_PACKAGE_DEPENDS "${depends}" PARENT_SCOPE)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${arg_NAME}
    RENAME copyright COMPONENT ${component})
  install(FILES ${dazo_changelog}
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${arg_NAME}
    COMPONENT ${component})
  set(dazo_package_components ${dazo_package_components} ${component}
    PARENT_SCOPE)
  set(dazo_package_fields
    "${dazo_package_fields}${arg_NAME} ${arg_MULTI_ARCH}\n" PARENT_SCOPE)
endfunction()

find_program(DAZO_DPKG_SHLIBDEPS dpkg-shlibdeps)
set(dazo_runtime_package lib${dazo_package_base}${DAZO_SOVERSION})

dazo_package(runtime NAME ${dazo_runtime_package} SECTION libs
  MULTI_ARCH same SHLIBDEPS PACKAGE_DEPENDS "libsqlite3-0, libpq5"
  DESCRIPTION "GeoCOM codec, host and virtual instrument libraries
Shared libraries that speak the ASCII form of GeoCOM, the remote-procedure
protocol of total-station survey instruments: a codec that composes requests
and decodes replies, a host library with sessions over serial lines and TCP,
and a virtual instrument for testing host programs.")

# The host headers include Boost.Asio; the survey library's pkg-config file
# names SQLite's; libpq is loaded at run time, so only the runtime package
# needs it.
dazo_package(development NAME lib${dazo_package_base}-dev SECTION libdevel
  MULTI_ARCH same DEPENDS runtime
  PACKAGE_DEPENDS "libboost1.81-dev, libsqlite3-dev"
  DESCRIPTION "GeoCOM codec, host and virtual instrument libraries (development files)
Headers, CMake package (find_package(DazoZazIdoRezeraro)) and pkg-config
files for building programs against the GeoCOM libraries.")

if(TARGET geocom)
  dazo_package(tools NAME geocom SECTION utils MULTI_ARCH foreign
    DEPENDS runtime SHLIBDEPS
    DESCRIPTION "command-line GeoCOM client and virtual survey instrument
geocom talks GeoCOM to total-station survey instruments over a serial line
or TCP: it makes single calls or many in one session, serves a virtual
instrument, relays and records a host program's traffic, decodes
captures, and monitors targets round after round into a results store.")
  install(FILES ${PROJECT_SOURCE_DIR}/docs/capture.md
    ${PROJECT_SOURCE_DIR}/docs/scene.md ${PROJECT_SOURCE_DIR}/docs/monitoring.md
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/geocom COMPONENT tools)
endif()

if(TARGET dazo-api-reference)
  dazo_package(doc NAME lib${dazo_package_base}-doc SECTION doc
    MULTI_ARCH foreign ALL_ARCHITECTURES
    DESCRIPTION "GeoCOM codec, host and virtual instrument libraries (API reference)
The HTML reference of the GeoCOM libraries' public headers, with the
README as its front page and the examples.")
endif()

# The Python package: the extension is built for one Python version's ABI
# (the one cmake/Python.cmake reports), so the package asks for that one.
if(TARGET dazo_python_native)
  dazo_package(python NAME python3-${dazo_package_base} SECTION python
    MULTI_ARCH foreign DEPENDS runtime SHLIBDEPS
    PACKAGE_DEPENDS "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${DAZO_PYTHON_NEXT_MINOR})"
    DESCRIPTION "GeoCOM sessions and a virtual survey instrument for Python
The dazozazidorezeraro module: sessions with total-station survey
instruments over serial lines and TCP with one method per procedure, an
asyncio face, and a virtual instrument with a pytest fixture for testing
host programs.")
  # Python writes byte code beside the modules once it imports them;
  # removing the package removes that too.
  set(dazo_python_package_name python3-${dazo_package_base})
  foreach(script prerm postrm)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/python-${script}.in
      ${PROJECT_BINARY_DIR}/debian/python/${script} @ONLY
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
        GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
      ${PROJECT_BINARY_DIR}/debian/python/${script})
  endforeach()
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

file(WRITE ${PROJECT_BINARY_DIR}/package-fields.txt "${dazo_package_fields}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${dazo_package_components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DAZO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's description starts with its own synopsis; a summary would
# be put in front of all of them.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")

find_program(DAZO_DPKG dpkg)
if(DAZO_DPKG)
  execute_process(COMMAND ${DAZO_DPKG} --print-architecture
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()

# Each package depends on the packages of the components it names, of
# exactly this version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

# A shlibs file, so that dpkg-shlibdeps finds the package for programs
# linked against the libraries (and ldconfig runs on install and removal).
# The soname changes whenever the interface may (the minor version before
# 1.0), so any release of the same soname will do.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# dpkg-shlibdeps looks the project's own libraries, not installed yet, up in
# the build tree.
if(DAZO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
  foreach(library DazoZazIdoRezeraro DazoZazIdoRezeraroHost
      DazoZazIdoRezeraroSimulator DazoZazIdoRezeraroSurvey)
    if(TARGET ${library})
      get_target_property(library_dir ${library} BINARY_DIR)
      list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dir})
    endif()
  endforeach()
endif()

include(CPack)
