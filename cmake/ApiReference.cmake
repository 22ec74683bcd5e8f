# The HTML API reference, built with the other targets when DAZO_BUILD_DOCS
# is on (scripts/package does, for the -doc package): the same Doxyfile as
# scripts/docs, which fails on any warning.
option(DAZO_BUILD_DOCS "Build the HTML API reference with doxygen" OFF)
if(DAZO_BUILD_DOCS)
  find_package(Doxygen REQUIRED)
  set(dazo_reference ${PROJECT_BINARY_DIR}/api-reference)
  file(GLOB_RECURSE dazo_public_headers CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/include/*.h)
  add_custom_command(OUTPUT ${dazo_reference}/html/index.html
    COMMAND ${CMAKE_COMMAND} -E env
      DAZO_DOCS_INCLUDE=${PROJECT_SOURCE_DIR}/include
      DAZO_DOCS_GENERATED=${PROJECT_BINARY_DIR}/include
      DAZO_DOCS_OUTPUT=${dazo_reference}
      ${DOXYGEN_EXECUTABLE} docs/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    DEPENDS ${dazo_public_headers} ${PROJECT_SOURCE_DIR}/docs/Doxyfile
      ${PROJECT_SOURCE_DIR}/docs/namespaces.dox ${PROJECT_SOURCE_DIR}/README.md
    COMMENT "Making the API reference"
    VERBATIM)
  add_custom_target(dazo-api-reference ALL
    DEPENDS ${dazo_reference}/html/index.html)
  if(DAZO_INSTALL)
    install(DIRECTORY ${dazo_reference}/html
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lib${dazo_package_base}-doc
      COMPONENT doc)
  endif()
endif()
