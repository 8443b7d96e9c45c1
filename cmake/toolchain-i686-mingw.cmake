# The 32-bit build: the shipped plug-in, its host and tests. The test
# programs need GoogleTest, which needs the POSIX-thread runtime; the plug-in
# itself is built with the Win32-thread one (toolchain-i686-mingw-lean.cmake).
if(NOT QV_MINGW_THREADS)
    set(QV_MINGW_THREADS posix)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-${QV_MINGW_THREADS})
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-${QV_MINGW_THREADS})
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Run through the Wine tree that scripts/deps.sh made; where no 32-bit code
# can run, failed, or skipped (77) with QV_ALLOW_NO_32BIT=1.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/winetree wine32)
