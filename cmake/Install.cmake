# Installs the window program with its desktop entry and icons in the usual freedesktop places,
# and packs the same files into a .deb: `cmake --install build/default`, `cpack` in the build tree.
include(GNUInstallDirs)

install(TARGETS kestrane-signal-simulator RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/resources/kestrane-signal-simulator.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/kestrane-signal-simulator.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/kestrane-signal-simulator-32.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
    RENAME kestrane-signal-simulator.png)

set(KESTRANE_PACKAGE_CONTACT "Kestrane Signal Simulator developers"
    CACHE STRING "Maintainer field of the .deb")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrane-signal-simulator)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${KESTRANE_PACKAGE_CONTACT}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The library packages (Qt, the C++ runtime) come from dpkg-shlibdeps, as for any Debian
# package; the xcb platform plugin comes with them or with qt6-qpa-plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)
include(CPack)
