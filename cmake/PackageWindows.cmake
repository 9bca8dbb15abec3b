# Packs the Windows program two ways, both with `cpack` in the windows-x86 build tree:
#   ZIP   kestrane-signal-simulator-<version>-win32.zip: the .exe, its licence and a read-me in
#         one folder of that name, nothing to install;
#   NSIS  kestrane-signal-simulator-<version>-win32-setup.exe: installs the same three files for
#         all users under Program Files or for one user under Programs in the user's local
#         application data, with Start-menu shortcuts and an uninstaller under Add/Remove
#         Programs. The installer is the project's own script (resources/windows/installer/),
#         which cpack finds as NSIS.template.in on the module path.
# Both take their version from the project, as the program's version resource does.
install(TARGETS kestrane-signal-simulator RUNTIME DESTINATION .)

# The licence with Windows line ends, for the packages and the installer's licence page.
set(KESTRANE_INSTALLER_DIR ${CMAKE_BINARY_DIR}/installer)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${KESTRANE_INSTALLER_DIR}/LICENSE.txt COPYONLY)
file(READ ${KESTRANE_INSTALLER_DIR}/LICENSE.txt _licence)
file(CONFIGURE OUTPUT ${KESTRANE_INSTALLER_DIR}/LICENSE.txt CONTENT "${_licence}"
    @ONLY NEWLINE_STYLE CRLF)
install(FILES ${KESTRANE_INSTALLER_DIR}/LICENSE.txt DESTINATION .)

# The read-me, with what each failure means, for the zip and the installed program alike.
configure_file(${PROJECT_SOURCE_DIR}/resources/windows/README.txt.in
    ${KESTRANE_INSTALLER_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${KESTRANE_INSTALLER_DIR}/README.txt DESTINATION .)

# The home page that the uninstall entry links to, as for the .deb (cmake/PackageLinux.cmake).
set(KESTRANE_HOMEPAGE_URL "" CACHE STRING "The project's home page; empty: the placeholder")
set(KESTRANE_HOMEPAGE "${KESTRANE_HOMEPAGE_URL}")
if(NOT KESTRANE_HOMEPAGE)
    set(KESTRANE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
endif()

set(_installer_sources ${PROJECT_SOURCE_DIR}/resources/windows/installer)
configure_file(${_installer_sources}/setup.nsi.in ${KESTRANE_INSTALLER_DIR}/setup.nsi @ONLY)
configure_file(${_installer_sources}/uninstall.nsi.in ${KESTRANE_INSTALLER_DIR}/uninstall.nsi
    @ONLY)
list(PREPEND CMAKE_MODULE_PATH ${_installer_sources})
set(CPACK_KESTRANE_SETUP_SCRIPT ${KESTRANE_INSTALLER_DIR}/setup.nsi)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME kestrane-signal-simulator)
set(CPACK_PACKAGE_VENDOR Kestrane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackWindowsOptions.cmake.in
    ${CMAKE_BINARY_DIR}/CPackWindowsOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackWindowsOptions.cmake)
include(CPack)
