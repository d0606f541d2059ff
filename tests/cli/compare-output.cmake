# Runs a command and compares its standard output with a golden file.
#   cmake -DCOMMAND="a;b;c" -DWORKDIR=dir -DEXPECTED=file -P compare-output.cmake
execute_process(COMMAND ${COMMAND} WORKING_DIRECTORY "${WORKDIR}"
                OUTPUT_VARIABLE actual RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "command failed with ${code}: ${COMMAND}")
endif()
file(READ "${EXPECTED}" expected)
string(REPLACE "\r\n" "\n" actual "${actual}")
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n${actual}")
endif()
