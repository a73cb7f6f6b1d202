# Cross-builds facetor.exe for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The C and C++ runtimes and the thread library are linked statically, so the
# executable needs only the DLLs that come with Windows. When wine is on the
# PATH, the test programs run under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FACETOR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FACETOR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FACETOR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FACETOR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FACETOR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(FACETOR_WINE wine)
if(FACETOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FACETOR_WINE})
endif()
