# What the Windows programs need beside them in bin/: Qt's DLLs and plugins, and the C++ runtime of the
# posix-thread mingw-w64 compilers that Qt and the programs share. There is no windeployqt for a Linux
# host, so the list is kept here; scripts/test-package checks that every DLL an installed program
# imports is shipped or is a Windows system DLL.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(qt_bin_dir ${qt_core_dll} DIRECTORY)
get_filename_component(qt_prefix ${qt_bin_dir} DIRECTORY)

set(TARVEL_QT_DLLS ${qt_bin_dir}/Qt6Core.dll ${qt_bin_dir}/Qt6Gui.dll ${qt_bin_dir}/Qt6Widgets.dll)
# Plugins by folder: the window's platform and style; offscreen and minimal for the tests and scripts.
set(TARVEL_QT_PLUGINS
    platforms/qwindows.dll platforms/qoffscreen.dll platforms/qminimal.dll
    styles/qwindowsvistastyle.dll)

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
    OUTPUT_VARIABLE libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
    OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(TARVEL_WINPTHREAD_DLL libwinpthread-1.dll
    PATHS /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/lib NO_DEFAULT_PATH REQUIRED)
set(TARVEL_RUNTIME_DLLS ${libstdcxx} ${libgcc} ${TARVEL_WINPTHREAD_DLL})
foreach(dll ${TARVEL_RUNTIME_DLLS})
    if(NOT IS_ABSOLUTE ${dll} OR NOT EXISTS ${dll})
        message(FATAL_ERROR "The mingw-w64 runtime DLL ${dll} was not found")
    endif()
endforeach()

set(outputs "")
set(commands "")
foreach(dll ${TARVEL_QT_DLLS} ${qt_bin_dir}/Qt6Test.dll ${TARVEL_RUNTIME_DLLS})
    get_filename_component(name ${dll} NAME)
    list(APPEND outputs ${CMAKE_BINARY_DIR}/bin/${name})
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${CMAKE_BINARY_DIR}/bin/${name})
endforeach()
foreach(plugin ${TARVEL_QT_PLUGINS})
    get_filename_component(folder ${plugin} DIRECTORY)
    list(APPEND outputs ${CMAKE_BINARY_DIR}/bin/${plugin})
    list(APPEND commands
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/${folder}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt_prefix}/plugins/${plugin} ${CMAKE_BINARY_DIR}/bin/${plugin})
endforeach()
add_custom_command(OUTPUT ${outputs} ${commands} COMMENT "Laying out the runtime DLLs in bin/")
add_custom_target(windows_runtime ALL DEPENDS ${outputs})

# For the packages: what is installed beside tarvel.exe.
set(TARVEL_QT_PREFIX ${qt_prefix})
