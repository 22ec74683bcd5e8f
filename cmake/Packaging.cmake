# Install rules: the library, its public headers, a CMake package for
# find_package(DazoZazIdoRezeraro CONFIG) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(DAZO_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/DazoZazIdoRezeraro)

install(TARGETS DazoZazIdoRezeraro
  EXPORT DazoZazIdoRezeraroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/DazoZazIdoRezeraro
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT DazoZazIdoRezeraroTargets
  NAMESPACE DazoZazIdoRezeraro::
  DESTINATION ${DAZO_CMAKE_INSTALL_DIR})

configure_package_config_file(cmake/DazoZazIdoRezeraroConfig.cmake.in
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfig.cmake
  INSTALL_DESTINATION ${DAZO_CMAKE_INSTALL_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfig.cmake
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraroConfigVersion.cmake
  DESTINATION ${DAZO_CMAKE_INSTALL_DIR})

configure_file(cmake/DazoZazIdoRezeraro.pc.in
  ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraro.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/DazoZazIdoRezeraro.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
