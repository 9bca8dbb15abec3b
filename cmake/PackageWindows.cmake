# Packs the Windows program two ways, both with `cpack` in the windows-x86 build tree:
#   ZIP   kestrane-signal-simulator-<version>-win32.zip: the .exe and a read-me, nothing to install;
#   NSIS  kestrane-signal-simulator-<version>-win32-setup.exe: installs the .exe under Program
#         Files with a Start-menu shortcut and an uninstaller under Add/Remove Programs.
# Both take their version from the project, as the program's version resource does.
install(TARGETS kestrane-signal-simulator RUNTIME DESTINATION .)

# The read-me goes into the zip only (see CPackWindowsOptions.cmake.in); an installed program
# is uninstalled from the system's settings, not by deleting it.
configure_file(${PROJECT_SOURCE_DIR}/resources/windows/README.txt.in
    ${CMAKE_BINARY_DIR}/portable/README.txt @ONLY NEWLINE_STYLE CRLF)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME kestrane-signal-simulator)
set(CPACK_PACKAGE_VENDOR Kestrane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_SYSTEM_NAME win32)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Values reach the NSIS script as written here, backslashes and quotes included.
set(CPACK_VERBATIM_VARIABLES ON)

set(_title "Kestrane Signal Simulator")
set(_icon ${PROJECT_SOURCE_DIR}/resources/icons/kestrane-signal-simulator.ico)
# A 32-bit program: Program Files (x86) on 64-bit Windows. No version in the folder or the
# uninstall key, so that a newer installer replaces an older installation.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${_title}")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${_title}")
set(CPACK_NSIS_PACKAGE_NAME "${_title}")
set(CPACK_NSIS_DISPLAY_NAME "${_title}")
# The shortcut, written out rather than through CPACK_PACKAGE_EXECUTABLES, which expects the
# program in a bin folder; it takes the program's own icon. Removed from the Start-menu folder
# chosen at install time.
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut \"$SMPROGRAMS\\$STARTMENU_FOLDER\\${_title}.lnk\" \"$INSTDIR\\kestrane-signal-simulator.exe\"")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete \"$SMPROGRAMS\\$MUI_TEMP\\${_title}.lnk\"")
set(CPACK_NSIS_INSTALLED_ICON_NAME kestrane-signal-simulator.exe)
set(CPACK_NSIS_MUI_ICON "${_icon}")
set(CPACK_NSIS_MUI_UNIICON "${_icon}")
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The installer keeps its install folder and Start-menu folder under Software\Kestrane\<title>;
# the uninstaller deletes that key, and then the vendor key if nothing else is in it.
set(CPACK_NSIS_DEFINES "Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"
FunctionEnd")

configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackWindowsOptions.cmake.in
    ${CMAKE_BINARY_DIR}/CPackWindowsOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackWindowsOptions.cmake)
include(CPack)
