# Fails when a test driver holds a case the build did not find in its sources, or the other way round:
# a case written over several lines, or under another macro, would otherwise never run.
# -DEMULATOR=... -DDRIVER=path/to/driver.exe -DEXPECTED="a;b;c"
execute_process(COMMAND ${EMULATOR} ${DRIVER} --list OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${DRIVER} --list failed: ${status}")
endif()
string(REPLACE "\r" "" listing "${listing}")
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" listed "${listing}")
list(SORT listed)
set(expected ${EXPECTED})
list(SORT expected)
if(NOT listed STREQUAL expected)
    message(FATAL_ERROR "${DRIVER} holds: ${listed}\nCTest runs: ${expected}")
endif()
message("${DRIVER}: ${listed}")
