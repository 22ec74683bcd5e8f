# Warning and sanitizer flags shared by the library, its tests and its tools.
add_library(dazo_compiler_options INTERFACE)
target_compile_options(dazo_compiler_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
# A library's exported functions are not meant to be replaced by another
# library's: calls between them inside the library are made directly and may
# be inlined, instead of going through the procedure linkage table.
target_compile_options(dazo_compiler_options INTERFACE
  -fno-semantic-interposition)
target_link_options(dazo_compiler_options INTERFACE
  $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY>:-Wl,-Bsymbolic-functions>)
if(DAZO_WARNINGS_AS_ERRORS)
  target_compile_options(dazo_compiler_options INTERFACE -Werror)
endif()

if(DAZO_SANITIZERS)
  add_compile_options(-fsanitize=${DAZO_SANITIZERS} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${DAZO_SANITIZERS})
  # g++ warns that ThreadSanitizer does not model atomic_thread_fence, which
  # Asio uses; the warning is about the tool, not the code.
  if(DAZO_SANITIZERS MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-tsan)
  endif()
endif()
