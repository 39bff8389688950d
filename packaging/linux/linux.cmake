# Linux: the desktop entry, the icons, AppStream metainfo, the manual page and the Debian package.
include(GNUInstallDirs)

set(linux_dir ${CMAKE_CURRENT_LIST_DIR})
set(generated ${PROJECT_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/zanthrel)

configure_file(${linux_dir}/${ZANTHREL_APP_ID}.metainfo.xml ${generated}/${ZANTHREL_APP_ID}.metainfo.xml @ONLY)
configure_file(${linux_dir}/copyright ${generated}/copyright @ONLY)
configure_file(${linux_dir}/changelog ${generated}/changelog @ONLY)
configure_file(${linux_dir}/zanthrel.1 ${generated}/zanthrel.1 @ONLY)
# Debian wants these compressed, and without a time stamp so that builds are reproducible.
foreach(file changelog zanthrel.1)
    execute_process(COMMAND gzip -9nf ${generated}/${file} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${linux_dir}/${ZANTHREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Starting at login is the user's choice (README: one copy into ~/.config/autostart), never the
# package's: this entry waits where the README's command finds it.
install(FILES ${linux_dir}/autostart/${ZANTHREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/zanthrel/autostart)
install(FILES ${generated}/${ZANTHREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 64 128 256)
    install(FILES ${linux_dir}/icons/${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${ZANTHREL_APP_ID}.png)
endforeach()
install(FILES ${generated}/zanthrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/copyright DESTINATION ${doc_dir})
# A version without a Debian revision makes this a native package, whose changelog is changelog.gz.
install(FILES ${generated}/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # zanthrel_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY on the first line; this is the extended part.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zanthrel watches the X11 clipboard for screen captures put on it by programs
that record what the user does. More than three new pictures within 30
seconds raise an alarm that blocks the clipboard. Blocking can also be
switched on by hand: the clipboard is then emptied as soon as anything is
copied to it. A tray icon shows the state and offers both commands.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
