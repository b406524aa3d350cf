set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVROLIN_MINGW_PREFIX x86_64-w64-mingw32)
# The tests of this build use std::thread.
set(TAVROLIN_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
