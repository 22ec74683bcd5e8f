# Checks the host library's public headers: each compiles on its own (it
# includes what it uses), and the headers of the I/O-free layers (the
# catalogue, named fields, captures and traffic decoding) read no Asio
# header, so that a program decoding captures parses none of it.
# Usage: cmake -DCOMPILER=PATH -DINCLUDES="DIR;DIR" -DHEADERS=DIR -P headers.cmake
cmake_policy(SET CMP0057 NEW)
set(io_free Catalogue.h Fields.h Capture.h TrafficDecoder.h Calls.h Records.h
  Result.h Traffic.h SentenceStream.h Sentences.h Text.h)
set(flags -std=c++17 -x c++)
foreach(dir IN LISTS INCLUDES)
  list(APPEND flags -I${dir})
endforeach()

file(GLOB headers RELATIVE ${HEADERS} ${HEADERS}/*.h)
set(failures "")
foreach(header IN LISTS headers)
  set(source "#include <DazoZazIdoRezeraro/host/${header}>\n")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/header_check.cpp "${source}")
  execute_process(
    COMMAND ${COMPILER} ${flags} -fsyntax-only -H
      ${CMAKE_CURRENT_BINARY_DIR}/header_check.cpp
    RESULT_VARIABLE compiled ERROR_VARIABLE read OUTPUT_QUIET)
  if(NOT compiled EQUAL 0)
    string(APPEND failures "${header} does not compile on its own:\n${read}\n")
  elseif(header IN_LIST io_free AND read MATCHES "boost/asio")
    string(REGEX MATCH "[^\n]*boost/asio[^\n]*" first "${read}")
    string(APPEND failures
      "${header} reads Asio headers, the first: ${first}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
