# Cross build for 64-bit Windows with mingw-w64, with the posix-thread compilers: their C++ runtime has
# std::thread and std::mutex. Qt for Windows (scripts/build-qt-windows), the program and its tests are all
# built with these, so they share one C++ runtime (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
