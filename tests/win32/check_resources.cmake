# Lists the resources of zanthrel.exe with wrestool (icoutils) and checks that exactly the icon group,
# its nine images, the manifest and the event log's message table are there, in English (United
# States), and no version resource.
execute_process(COMMAND ${WRESTOOL} -l ${EXE} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "wrestool failed on ${EXE}")
endif()
message("${listing}")
foreach(expected
        "--type=3 --name=30001 --language=1033"
        "--type=3 --name=30002 --language=1033"
        "--type=3 --name=30003 --language=1033"
        "--type=3 --name=30004 --language=1033"
        "--type=3 --name=30005 --language=1033"
        "--type=3 --name=30006 --language=1033"
        "--type=3 --name=30007 --language=1033"
        "--type=3 --name=30008 --language=1033"
        "--type=3 --name=30009 --language=1033"
        "--type=14 --name=1 --language=1033"
        "--type=24 --name=1 --language=1033"
        "--type=11 --name=1 --language=1033")
    string(FIND "${listing}" "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "missing resource: ${expected}")
    endif()
endforeach()
string(REGEX MATCHALL "--type=" entries "${listing}")
list(LENGTH entries count)
if(NOT count EQUAL 12)
    message(FATAL_ERROR "expected exactly 12 resources, found ${count}")
endif()
