# Windows: a portable zip (the program, README and licence) from CPack, and an MSI from wixl.

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME zanthrel-${PROJECT_VERSION}-windows-x64)

# The MSI, built with every build where wixl is installed (Debian package wixl), by build-msi.
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
if(WIXL AND MSIBUILD AND CMAKE_STRIP)
    set(msi_stage ${PROJECT_BINARY_DIR}/msi)
    set(msi_file ${PROJECT_BINARY_DIR}/packages/zanthrel_${PROJECT_VERSION}_x64.msi)
    add_custom_command(
        OUTPUT ${msi_file}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${msi_stage} ${PROJECT_BINARY_DIR}/packages
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zanthrel> ${msi_stage}/zanthrel.exe
        COMMAND ${CMAKE_STRIP} ${msi_stage}/zanthrel.exe
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${msi_stage}/LICENSE.txt
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${msi_stage}/README.md
        COMMAND ${CMAKE_CURRENT_LIST_DIR}/build-msi ${msi_stage} ${PROJECT_VERSION} ${msi_file}
        DEPENDS zanthrel ${CMAKE_CURRENT_LIST_DIR}/zanthrel.wxs ${CMAKE_CURRENT_LIST_DIR}/build-msi
                ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
        VERBATIM)
    add_custom_target(msi ALL DEPENDS ${msi_file})
    set(ZANTHREL_MSI ${msi_file})
    set(ZANTHREL_MSI_STAGE ${msi_stage})
endif()
