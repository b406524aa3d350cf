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
# The static runtime brings its debugging information along; a release leaves it out.
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
# Unit tests run under Wine when it is there, in a Wine prefix of the build's
# own (see mingw-wine-run.sh).
find_program(TAVROLIN_WINE wine)
if(TAVROLIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/mingw-wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
