set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAVROLIN_MINGW_PREFIX i686-w64-mingw32)
# The 32-bit exe is the one for old Windows: the posix thread model's static
# winpthreads calls GetTickCount64, which Windows XP lacks, so the exe would not
# load there. Nothing in this build needs std::thread.
set(TAVROLIN_MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
