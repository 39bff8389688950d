# Install rules for the data that goes with the program, and the packages CPack builds from them.
# The program itself is installed by its front end's CMakeLists.txt.

set(ZANTHREL_APP_ID io.github.zanthrel.Zanthrel)
set(ZANTHREL_HOMEPAGE "https://github.com/zanthrel/zanthrel" CACHE STRING "The project's home page")
set(ZANTHREL_CONTACT "Zanthrel authors <zanthrel@users.noreply.github.com>" CACHE STRING "Package maintainer")
set(ZANTHREL_RELEASE_DATE 2026-12-07)  # of PROJECT_VERSION
set(ZANTHREL_RELEASE_DATE_RFC2822 "Mon, 07 Dec 2026 12:00:00 +0000")

set(packaging_dir ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PACKAGE_NAME zanthrel)
set(CPACK_PACKAGE_VENDOR "The Zanthrel authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "guards the clipboard against spyware")
set(CPACK_PACKAGE_CONTACT ${ZANTHREL_CONTACT})
set(CPACK_PACKAGE_HOMEPAGE_URL ${ZANTHREL_HOMEPAGE})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES /build/ /\\.git/)

if(WIN32)
    include(${packaging_dir}/windows/windows.cmake)
elseif(TARGET zanthrel)
    include(${packaging_dir}/linux/linux.cmake)
endif()

include(CPack)
