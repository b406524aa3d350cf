# mingw-w64 GCC, linked statically so that the exe needs no DLL that Windows
# does not ship. TAVROLIN_MINGW_THREADS picks the compiler's thread model:
# "posix" (std::thread, through the winpthreads library) or "win32" (no
# std::thread; the runtime calls the system directly).
set(CMAKE_C_COMPILER ${TAVROLIN_MINGW_PREFIX}-gcc-${TAVROLIN_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${TAVROLIN_MINGW_PREFIX}-g++-${TAVROLIN_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${TAVROLIN_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVROLIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# A release build is made small (the exes have a size budget; see docs/performance.md):
# every function and datum in a section of its own, so that the linker can drop
# the ones nothing uses, also from the static runtime; objects that carry
# their code for link-time optimisation too: Tavrolin.exe links with it
# (src/win32/CMakeLists.txt), everything else without; no debugging
# information (the static runtime brings its own along).
set(CMAKE_C_FLAGS_MINSIZEREL_INIT "-Os -DNDEBUG -ffunction-sections -fdata-sections -flto -ffat-lto-objects")
set(CMAKE_CXX_FLAGS_MINSIZEREL_INIT "-Os -DNDEBUG -ffunction-sections -fdata-sections -flto -ffat-lto-objects")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s -fno-lto -Wl,--gc-sections")
# Unit tests run under Wine when it is there, in a Wine prefix of the build's
# own (see mingw-wine-run.sh).
find_program(TAVROLIN_WINE wine)
if(TAVROLIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_CURRENT_LIST_DIR}/mingw-wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
