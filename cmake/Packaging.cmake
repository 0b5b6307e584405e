# What `cmake --install` puts where (GNU layout), and the Debian package that `cpack -G DEB` makes of it.
#
# Programs built elsewhere in the tree join in here:
#   - a command-line program is installed when its target exists (tarvel-cli below);
#   - files that belong under the data folder (such as the bridge executables) are named with
#     set_property(GLOBAL APPEND PROPERTY TARVEL_BRIDGE_FILES <file>...) and land in ${TARVEL_BRIDGE_INSTALL_DIR}.
# scripts/test-package checks the installed file list and the package.

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS tarvel gifdump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(man_pages tarvel.1 gifdump.1)
if(TARGET tarvel-cli)
    install(TARGETS tarvel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    list(APPEND man_pages tarvel-cli.1)
endif()

get_property(bridge_files GLOBAL PROPERTY TARVEL_BRIDGE_FILES)
if(bridge_files)
    install(PROGRAMS ${bridge_files} DESTINATION ${TARVEL_BRIDGE_INSTALL_DIR})
endif()

# The launcher and the metainfo.
install(FILES ${packaging}/${TARVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/${TARVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The icons, drawn by the code that draws the window's icon.
set(icon_files ${generated}/icons/scalable/apps/${TARVEL_APP_ID}.svg)
foreach(size 16 22 24 32 48 64 128 256)
    list(APPEND icon_files ${generated}/icons/${size}x${size}/apps/${TARVEL_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND tarvel-icons ${generated}/icons ${TARVEL_APP_ID}
    DEPENDS tarvel-icons
    COMMENT "Rendering the program's icons")
install(DIRECTORY ${generated}/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The manual pages and the changelog, compressed as Debian's policy asks (reproducibly: no name or
# time stamp). compressed(VAR SOURCE) makes ${generated}/NAME.gz of SOURCE and sets VAR to it, or to
# SOURCE itself where there is no gzip.
find_program(GZIP_PROGRAM gzip)
function(compressed var source)
    if(NOT GZIP_PROGRAM)
        set(${var} ${source} PARENT_SCOPE)
        return()
    endif()
    file(RELATIVE_PATH name ${packaging} ${source})
    get_filename_component(folder ${generated}/${name} DIRECTORY)
    add_custom_command(OUTPUT ${generated}/${name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${generated}/${name}.gz
        DEPENDS ${source}
        VERBATIM)
    set(${var} ${generated}/${name}.gz PARENT_SCOPE)
endfunction()

set(man_files)
foreach(page ${man_pages})
    compressed(man_file ${packaging}/man/${page})
    list(APPEND man_files ${man_file})
endforeach()
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog, in Debian's format (the package is native: its version has no Debian revision). Its
# newest entry names the version being packaged; scripts/test-package checks that it is this one.
set(changelog ${packaging}/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
string(FIND "${changelog_head}" "tarvel (${PROJECT_VERSION}) " changelog_at)
if(NOT changelog_at EQUAL 0)
    message(WARNING "packaging/changelog: the newest entry is not for version ${PROJECT_VERSION}; add one at the top")
endif()
compressed(changelog_file ${changelog})
install(FILES ${changelog_file} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvel)
add_custom_target(tarvel-install-files ALL DEPENDS ${icon_files} ${man_files} ${changelog_file})

# The licence, where Debian's policy wants it (GNUInstallDirs would name the folder after the project, Tarvel).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tarvel RENAME copyright)

# The Debian package.
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "The Tarvel developers")
set(CPACK_PACKAGE_CONTACT "The Tarvel developers <tarvel@users.noreply.github.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manage the memory sections of Sony CMD-J5/J6/J7/J70 phones")
# Lines as they appear in the package's description (CPack indents them and marks the empty one).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tarvel talks to a Sony CMD-J5, CMD-J6, CMD-J7 or CMD-J70 mobile phone and"
    "manages the 31 fixed sections of its non-volatile memory, where loaders keep"
    "firmware applications and GIF images. It lists what each section holds, and"
    "uploads, views (as text, as a hex dump or as a running GIF animation),"
    "extracts and clears sections. Before a section that holds data is changed,"
    "its content is saved as an automatic backup and is written back if the"
    "change fails."
    ""
    "The phone is reached through its vendor's service library, run under Wine."
    "Without that library a built-in virtual phone answers, so everything can be"
    "tried without a phone. The package also holds gifdump, which prints what a"
    "GIF file holds, frame by frame.")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/tarvel/tarvel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries come from the programs' own links; Qt's X11 platform plugin is loaded at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The window's fonts, and Qt's platform plugin for Wayland-only sessions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, qt6-wayland")
# The vendor's library of a real phone runs under Wine.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
