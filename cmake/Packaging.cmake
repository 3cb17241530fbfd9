# `make package`: a Debian package of the window and the command-line tool, with a desktop entry,
# the icon in the hicolor theme, the README, and the copyright and changelog files Debian expects.
include(GNUInstallDirs)
# Directories 0755 whatever the umask of the person who builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS orvane orvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/orvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icon PNGs come from the program's own drawing, exported by a tool built with it.
set(ORVANE_ICON_DIR ${PROJECT_BINARY_DIR}/icons)
add_custom_command(
    OUTPUT ${ORVANE_ICON_DIR}/stamp
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${ORVANE_ICON_DIR}/hicolor
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:orvane-icon-export> ${ORVANE_ICON_DIR}
    COMMAND ${CMAKE_COMMAND} -E touch ${ORVANE_ICON_DIR}/stamp
    DEPENDS orvane-icon-export
    COMMENT "Exporting the application icon"
    VERBATIM)
# The changelog is compressed the reproducible way Debian asks for (no name, no time stamp).
set(ORVANE_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${ORVANE_CHANGELOG}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -n -9 -c '${PROJECT_SOURCE_DIR}/packaging/changelog' > '${ORVANE_CHANGELOG}'"
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(orvane-package-files ALL DEPENDS ${ORVANE_ICON_DIR}/stamp ${ORVANE_CHANGELOG})

install(DIRECTORY ${ORVANE_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
set(ORVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/orvane)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright ${ORVANE_CHANGELOG}
        DESTINATION ${ORVANE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvane developers <orvane@orvane.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "updates embedded devices over a serial line")
# CPack puts the summary first and indents every line of the description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orvane is a service tool for technicians: it tests the connection to a
device on a serial port and sends it a firmware image (.trs) or an application
program (.tr3) in acknowledged blocks. orvane-cli runs the same updates without
a display, and includes an image tool and a device simulator.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window draws its Chinese text in the Song-style font, and the toolkit's standard dialogs
# need their Chinese catalogue; neither is a library that dpkg-shlibdeps could find.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, qt6-translations-l10n")
include(CPack)
