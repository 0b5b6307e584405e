# What `cmake --install` puts where in the Windows build, and the two packages `cpack` makes of it: a
# portable zip (tarvel-VERSION-windows-x86_64.zip) and an NSIS installer. Everything lands in one folder
# (Program Files\Tarvel for the installer): the programs with the DLLs and plugins they load, and the
# bridge to the phone's service library in bridge\. scripts/test-package checks both packages under Wine.

install(TARGETS tarvel tarvel-cli gifdump RUNTIME DESTINATION .)
install(FILES ${TARVEL_QT_DLLS} ${TARVEL_RUNTIME_DLLS} DESTINATION .)
install(FILES ${TARVEL_QT_PREFIX}/plugins/platforms/qwindows.dll DESTINATION platforms)
install(FILES ${TARVEL_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
get_property(bridge_files GLOBAL PROPERTY TARVEL_BRIDGE_FILES)
install(PROGRAMS ${bridge_files} DESTINATION bridge)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_PACKAGE_NAME Tarvel)
set(CPACK_PACKAGE_VENDOR "The Tarvel developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Manage the memory sections of Sony CMD-J5/J6/J7/J70 phones")
set(CPACK_PACKAGE_FILE_NAME tarvel-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tarvel)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_STRIP_FILES ON)

# The installer: 64-bit Program Files, a Start-menu entry for the window, and an uninstaller that an
# installation over an older one runs first.
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Tarvel)
set(CPACK_NSIS_DISPLAY_NAME "Tarvel ${PROJECT_VERSION}")
set(CPACK_PACKAGE_EXECUTABLES tarvel Tarvel)
set(CPACK_NSIS_INSTALLED_ICON_NAME tarvel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
include(CPack)
