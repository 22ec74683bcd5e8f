# Install rules: the libraries, their public headers, one CMake package with
# a component per library (find_package(DazoZazIdoRezeraro CONFIG COMPONENTS
# Host)) and a pkg-config file per library. Every installed path is relative
# to the prefix, so an installed tree can be copied elsewhere.
include(CMakePackageConfigHelpers)

set(DAZO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/DazoZazIdoRezeraro)

install(TARGETS DazoZazIdoRezeraro
  EXPORT DazoZazIdoRezeraroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
    NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT DazoZazIdoRezeraroTargets
  NAMESPACE DazoZazIdoRezeraro::
  DESTINATION ${DAZO_CMAKE_INSTALL_DIR} COMPONENT development)
install(DIRECTORY include/DazoZazIdoRezeraro
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

# pkg-config files find the prefix from their own directory, whatever the
# library directory's depth (lib, lib64, lib/x86_64-linux-gnu), so that a
# staged or moved tree works; with an absolute library or include directory
# they hold absolute paths.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR
    IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH dazo_prefix_from_pcdir
    /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" dazo_prefix_from_pcdir
    "${dazo_prefix_from_pcdir}")
  set(PC_PREFIX "\${pcfiledir}/${dazo_prefix_from_pcdir}")
  set(PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()

# The component libraries, each with its own export set and .pc file; each
# .pc requires the module its headers include.
set(DAZO_COMPONENTS)
function(dazo_install_component component target requires description)
  install(TARGETS ${target}
    EXPORT DazoZazIdoRezeraro${component}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
      NAMELINK_COMPONENT development
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT DazoZazIdoRezeraro${component}Targets
    NAMESPACE DazoZazIdoRezeraro::
    DESTINATION ${DAZO_CMAKE_INSTALL_DIR} COMPONENT development)
  set(PC_NAME ${PROJECT_NAME}${component})
  set(PC_DESCRIPTION "${description}")
  set(PC_LIBRARY ${target})
  set(PC_REQUIRES ${requires})
  set(PC_EXTRA_LIBS -pthread)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/DazoZazIdoRezeraro.pc.in
    ${PROJECT_BINARY_DIR}/${PC_NAME}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${PC_NAME}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
  set(DAZO_COMPONENTS ${DAZO_COMPONENTS} ${component} PARENT_SCOPE)
endfunction()

dazo_install_component(Host DazoZazIdoRezeraroHost ${PROJECT_NAME}
  "Sessions, sentence stream, procedure table and typed calls for GeoCOM hosts")
install(FILES ${PROJECT_BINARY_DIR}/include/DazoZazIdoRezeraro/host/Version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/DazoZazIdoRezeraro/host
  COMPONENT development)
if(TARGET DazoZazIdoRezeraroSimulator)
  dazo_install_component(Simulator DazoZazIdoRezeraroSimulator
    ${PROJECT_NAME}Host
    "A virtual GeoCOM instrument for testing host programs")
endif()
if(TARGET DazoZazIdoRezeraroSurvey)
  dazo_install_component(Survey DazoZazIdoRezeraroSurvey
    "${PROJECT_NAME}Host sqlite3"
    "Monitoring rounds over GeoCOM instruments and their results store")
endif()

configure_package_config_file(cmake/DazoZazIdoRezeraroConfig.cmake.in
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfig.cmake
  INSTALL_DESTINATION ${DAZO_CMAKE_INSTALL_DIR})
# Before 1.0 a minor release may change the interface: 0.x asks for the
# same minor version.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(dazo_compatibility SameMinorVersion)
else()
  set(dazo_compatibility SameMajorVersion)
endif()
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfigVersion.cmake
  COMPATIBILITY ${dazo_compatibility})
install(FILES
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfig.cmake
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfigVersion.cmake
  DESTINATION ${DAZO_CMAKE_INSTALL_DIR} COMPONENT development)

set(PC_NAME ${PROJECT_NAME})
set(PC_DESCRIPTION "${PROJECT_DESCRIPTION}")
set(PC_LIBRARY DazoZazIdoRezeraro)
set(PC_REQUIRES "")
set(PC_EXTRA_LIBS "")
configure_file(cmake/DazoZazIdoRezeraro.pc.in
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraro.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraro.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
