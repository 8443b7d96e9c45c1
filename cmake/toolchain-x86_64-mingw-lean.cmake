# The plug-in alone, on the Win32-thread runtime: no POSIX-thread library in
# the host's process (no thread-control imports, no process-wide exception
# handler, no TLS callback on the host's threads).
set(QV_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-x86_64-mingw.cmake)
