# Debian packages, one per install component: the shared libraries
# (runtime), what building against them needs (development) and the geocom
# tool with its man page and bash completion (tools). scripts/package
# configures with CMAKE_INSTALL_PREFIX=/usr, so the library directory follows
# GNUInstallDirs' Debian layout (lib/<multiarch triplet>).
set(DAZO_PACKAGE_MAINTAINER
  "The DazoZazIdoRezeraro developers <maintainers@dazozazidorezeraro.invalid>"
  CACHE STRING "Maintainer field of the Debian packages")

string(TOLOWER ${PROJECT_NAME} dazo_package_base)
set(dazo_runtime_package lib${dazo_package_base}${DAZO_SOVERSION})
set(dazo_development_package lib${dazo_package_base}-dev)
set(dazo_tools_package geocom)
set(dazo_package_components runtime development)
if(TARGET geocom)
  list(APPEND dazo_package_components tools)
endif()

# Debian wants the licence in every package, as its copyright file.
foreach(component IN LISTS dazo_package_components)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${dazo_${component}_package}
    RENAME copyright COMPONENT ${component})
endforeach()

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
# be put in front of all three.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")

find_program(DAZO_DPKG dpkg)
if(DAZO_DPKG)
  execute_process(COMMAND ${DAZO_DPKG} --print-architecture
    OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()

# Each package depends on the runtime package of exactly this version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${dazo_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "GeoCOM codec, host and virtual instrument libraries
Shared libraries that speak the ASCII form of GeoCOM, the remote-procedure
protocol of total-station survey instruments: a codec that composes requests
and decodes replies, a host library with sessions over serial lines and TCP,
and a virtual instrument for testing host programs.")
# A shlibs file, so that dpkg-shlibdeps finds the package for programs
# linked against the libraries (and ldconfig runs on install and removal).
# The soname changes whenever the interface may (the minor version before
# 1.0), so any release of the same soname will do.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${dazo_development_package})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The host headers include Boost.Asio.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libboost1.81-dev")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "GeoCOM codec, host and virtual instrument libraries (development files)
Headers, CMake package (find_package(DazoZazIdoRezeraro)) and pkg-config
files for building programs against the GeoCOM libraries.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${dazo_tools_package})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
  "command-line GeoCOM client and virtual survey instrument
geocom talks GeoCOM to total-station survey instruments over a serial line
or TCP: it makes single calls, serves a virtual instrument, relays and
records a host program's traffic, and decodes captures.")

# dpkg-shlibdeps finds the packages the binaries need; the project's own
# libraries, not installed yet, are looked up in the build tree.
find_program(DAZO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DAZO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS)
  foreach(library DazoZazIdoRezeraro DazoZazIdoRezeraroHost
      DazoZazIdoRezeraroSimulator)
    if(TARGET ${library})
      get_target_property(library_dir ${library} BINARY_DIR)
      list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${library_dir})
    endif()
  endforeach()
else()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)
