# Installs the window program with its desktop entry, icons, AppStream metadata, manual page and
# licence in the usual places, and packs the same files into a .deb: `cmake --install
# build/default`, `cpack` in the build tree.
#
# A packager sets KESTRANE_PACKAGE_MAINTAINER ("Name <e-mail>"), which the project has none of:
# without it the .deb names the developers with no address. KESTRANE_HOMEPAGE_URL, where the
# project's pages are, gives the AppStream metadata its home page and screenshot (the
# screenshot-linux.png there); without it they are left out.
include(GNUInstallDirs)

set(KESTRANE_PACKAGE_MAINTAINER "" CACHE STRING
    "Maintainer of the .deb, as \"Name <e-mail>\"; empty: the developers, without an address")
set(KESTRANE_HOMEPAGE_URL "" CACHE STRING
    "The project's home page, with screenshot-linux.png under it, for the AppStream metadata")

set(_name kestrane-signal-simulator)
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${_name})
set(_generated ${CMAKE_BINARY_DIR}/package)
if(KESTRANE_PACKAGE_MAINTAINER)
    set(KESTRANE_DEB_MAINTAINER "${KESTRANE_PACKAGE_MAINTAINER}")
else()
    set(KESTRANE_DEB_MAINTAINER "Kestrane Signal Simulator developers")
endif()

install(TARGETS kestrane-signal-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/${_name}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${_name}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${_name}-32.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME ${_name}.png)

# AppStream metadata, so that software centres list the program.
set(KESTRANE_APPSTREAM_ID com.kestrane.SignalSimulator)
set(KESTRANE_APPSTREAM_WEB "")
if(KESTRANE_HOMEPAGE_URL)
    string(CONCAT KESTRANE_APPSTREAM_WEB
        "  <url type=\"homepage\">${KESTRANE_HOMEPAGE_URL}</url>\n"
        "  <screenshots>\n"
        "    <screenshot type=\"default\">\n"
        "      <caption>The signal entry window</caption>\n"
        "      <image>${KESTRANE_HOMEPAGE_URL}/screenshot-linux.png</image>\n"
        "    </screenshot>\n"
        "  </screenshots>\n")
endif()
configure_file(${PROJECT_SOURCE_DIR}/resources/${_name}.metainfo.xml.in
    ${_generated}/${KESTRANE_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${_generated}/${KESTRANE_APPSTREAM_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The licence in Debian's copyright format, taken from LICENSE: everything after the copyright
# line, each line indented, empty lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _licence)
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" _licence "${_licence}")
string(REGEX REPLACE "\n$" "" _licence "${_licence}")
string(REGEX REPLACE "\n\n" "\n.\n" _licence "${_licence}")
string(REGEX REPLACE "\n" "\n " _licence " ${_licence}")
file(WRITE ${_generated}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: ${_name}\n\n"
    "Files: *\n"
    "Copyright: 2026 the Kestrane Signal Simulator developers\n"
    "License: Expat\n${_licence}\n")
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in ${_generated}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/${_name}.1.in ${_generated}/${_name}.1 @ONLY)

# The changelog and the manual page compressed as Debian has them: gzip -9n, no name or time
# in the header, so that the same sources give the same files.
find_program(KESTRANE_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${_generated}/changelog.gz ${_generated}/${_name}.1.gz
    COMMAND ${KESTRANE_GZIP} -9nc ${_generated}/changelog > ${_generated}/changelog.gz
    COMMAND ${KESTRANE_GZIP} -9nc ${_generated}/${_name}.1 > ${_generated}/${_name}.1.gz
    DEPENDS ${_generated}/changelog ${_generated}/${_name}.1
    VERBATIM)
add_custom_target(kestrane_package_documents ALL
    DEPENDS ${_generated}/changelog.gz ${_generated}/${_name}.1.gz)
add_dependencies(kestrane-signal-simulator kestrane_package_documents)
install(FILES ${_generated}/${_name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_generated}/copyright ${_generated}/changelog.gz DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${_name})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The extended description, below the summary line; lines short enough for a terminal.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small desktop tool for driving file-based trading bridges by hand.\n"
    "One window: fill in a procedure, side, contracts, order type, limit and\n"
    "aux price, optionally an entry/exit tag, and press Send Out Signal. The\n"
    "program stamps the signal from the local clock and appends exactly one\n"
    "comma-separated line to the signal file named in the window, in one\n"
    "write, for another program that watches the file.\n"
    ".\n"
    "A failed send writes nothing and is reported with a numbered message.")
set(CPACK_PACKAGE_CONTACT "${KESTRANE_DEB_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The library packages (Qt, the C++ runtime) come from dpkg-shlibdeps, as for any Debian
# package; the xcb platform plugin comes with them or with qt6-qpa-plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)
include(CPack)
