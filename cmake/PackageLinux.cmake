# Installs the window program with its desktop entry, icons, AppStream metadata, manual page and
# licence in the usual places, and packs the same files into a .deb: `cmake --install
# build/default`, `cpack` in the build tree.
#
# A packager sets KESTRANE_PACKAGE_MAINTAINER ("Name <e-mail>") and KESTRANE_HOMEPAGE_URL (where
# the project's pages are, with screenshot-linux.png under it). The project has neither yet: by
# default the .deb names the developers at a placeholder address and the placeholder home page
# in the reserved example.org domain, so that the default build is a well-formed package too;
# the screenshot is listed only under a home page a packager has set.
include(GNUInstallDirs)

set(KESTRANE_PACKAGE_MAINTAINER "" CACHE STRING
    "Maintainer of the .deb, as \"Name <e-mail>\"; empty: the developers at a placeholder")
set(KESTRANE_HOMEPAGE_URL "" CACHE STRING
    "The project's home page, with screenshot-linux.png under it; empty: the placeholder")
set(KESTRANE_DEB_MAINTAINER "${KESTRANE_PACKAGE_MAINTAINER}")
if(NOT KESTRANE_DEB_MAINTAINER)
    set(KESTRANE_DEB_MAINTAINER "Kestrane Signal Simulator developers <packages@kestrane.example.org>")
elseif(NOT KESTRANE_DEB_MAINTAINER MATCHES "^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$")
    message(FATAL_ERROR "KESTRANE_PACKAGE_MAINTAINER is \"${KESTRANE_PACKAGE_MAINTAINER}\", "
        "not \"Name <e-mail>\"")
endif()
set(KESTRANE_HOMEPAGE "${KESTRANE_HOMEPAGE_URL}")
if(NOT KESTRANE_HOMEPAGE)
    set(KESTRANE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
endif()

# The changelog's date as Debian writes it, noon UTC on the release date; the weekday by
# Sakamoto's rule.
if(NOT KESTRANE_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "KESTRANE_RELEASE_DATE is \"${KESTRANE_RELEASE_DATE}\", not YYYY-MM-DD")
endif()
set(_day ${CMAKE_MATCH_3})
set(_year ${CMAKE_MATCH_1})
math(EXPR _month_index "1${CMAKE_MATCH_2} - 101")
set(_y ${_year})
if(_month_index LESS 2)
    math(EXPR _y "${_year} - 1")
endif()
set(_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
list(GET _offsets ${_month_index} _offset)
math(EXPR _weekday "(${_y} + ${_y} / 4 - ${_y} / 100 + ${_y} / 400 + ${_offset} + 1${_day} - 100)
    % 7")
set(_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET _weekdays ${_weekday} _weekday)
list(GET _months ${_month_index} _month)
set(KESTRANE_CHANGELOG_DATE "${_weekday}, ${_day} ${_month} ${_year} 12:00:00 +0000")

set(_name kestrane-signal-simulator)
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${_name})
set(_generated ${CMAKE_BINARY_DIR}/package)

install(TARGETS kestrane-signal-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/${_name}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${_name}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${_name}-32.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME ${_name}.png)

# AppStream metadata, so that software centres list the program.
set(KESTRANE_APPSTREAM_ID com.kestrane.SignalSimulator)
string(CONCAT KESTRANE_APPSTREAM_WEB "  <url type=\"homepage\">${KESTRANE_HOMEPAGE}</url>\n")
if(KESTRANE_HOMEPAGE_URL)
    string(CONCAT KESTRANE_APPSTREAM_WEB "${KESTRANE_APPSTREAM_WEB}"
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
    "A failed send leaves the file as it was and is reported with a numbered\n"
    "message.")
set(CPACK_PACKAGE_CONTACT "${KESTRANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KESTRANE_HOMEPAGE}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The library packages (Qt, the C++ runtime) come from dpkg-shlibdeps, as for any Debian
# package; libqt6gui6 brings the xcb platform plugin. The Wayland plugin, recommended, lets a
# Wayland desktop run the program natively.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
include(CPack)
