# Checks that the geocom man page was made and covers every subcommand.
# Usage: cmake -DPAGE=geocom.1.gz -DSKIPPED=REASON -P check-page.cmake
if(SKIPPED)
  message(FATAL_ERROR "The geocom man page was not made: ${SKIPPED} "
    "(scripts/install-deps demo installs help2man)")
endif()
if(NOT EXISTS "${PAGE}")
  message(FATAL_ERROR "${PAGE} is missing")
endif()
execute_process(COMMAND gzip -d -c "${PAGE}" OUTPUT_VARIABLE page
  COMMAND_ERROR_IS_FATAL ANY)
foreach(subcommand call shell demo simulate record decode)
  if(NOT page MATCHES "geocom ${subcommand}")
    message(FATAL_ERROR "${PAGE} does not describe 'geocom ${subcommand}'")
  endif()
endforeach()
