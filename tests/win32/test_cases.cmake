# The names of the cases a test driver holds (check.h's TEST_CASE("name") lines), read from its sources,
# so that a case added there becomes its own CTest test. Editing a source configures again. The test
# win32.cases-listed compares the list with what the built driver itself says it holds.
function(zanthrel_test_cases out_var)
    set(cases)
    foreach(source IN LISTS ARGN)
        set(path ${CMAKE_CURRENT_SOURCE_DIR}/${source})
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
        file(STRINGS ${path} lines REGEX "^TEST_CASE\\(\"[^\"]+\"\\)")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^TEST_CASE\\(\"([^\"]+)\"\\).*" "\\1" name "${line}")
            list(APPEND cases ${name})
        endforeach()
    endforeach()
    set(${out_var} ${cases} PARENT_SCOPE)
endfunction()
