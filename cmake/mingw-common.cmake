# The posix-thread variant of mingw-w64 GCC, linked statically so that the exe
# needs no DLL that Windows does not ship.
set(CMAKE_C_COMPILER ${TAVROLIN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVROLIN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVROLIN_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVROLIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Unit tests run under Wine when it is there.
find_program(TAVROLIN_WINE wine)
if(TAVROLIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVROLIN_WINE})
endif()
