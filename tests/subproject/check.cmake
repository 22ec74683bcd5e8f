# Configures the parent project in tests/subproject and checks that the
# project pulled in adds no test, no tool, no install rule and no packages.
# Usage: cmake -DSOURCE=DIR -DBINARY=DIR -P check.cmake
file(REMOVE_RECURSE ${BINARY})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE}/tests/subproject -B ${BINARY}
    -DDAZO_SOURCE_DIR=${SOURCE}
  RESULT_VARIABLE configured OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "the parent project does not configure:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} -N --test-dir ${BINARY}
  OUTPUT_VARIABLE tests)
if(NOT tests MATCHES "Total Tests: 0")
  message(FATAL_ERROR "the project pulled in adds tests:\n${tests}")
endif()
file(READ ${BINARY}/dazo/cmake_install.cmake install_rules)
file(GLOB_RECURSE nested_rules ${BINARY}/dazo/*/cmake_install.cmake)
foreach(rules IN LISTS nested_rules)
  file(READ ${rules} text)
  string(APPEND install_rules "${text}")
endforeach()
if(install_rules MATCHES "file\\(INSTALL")
  message(FATAL_ERROR "the project pulled in adds install rules")
endif()
if(EXISTS ${BINARY}/CPackConfig.cmake OR EXISTS ${BINARY}/dazo/tools)
  message(FATAL_ERROR "the project pulled in adds packages or the tool")
endif()
