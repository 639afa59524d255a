# Cross build for 64-bit Windows with Debian's mingw-w64 (the "posix" thread
# flavour, whose libstdc++ has std::thread, std::mutex and
# std::condition_variable). Programs are linked statically so that nothing of
# the toolchain has to be found beside them, on Windows or under Wine.
#
#   cmake -S . -B build-windows -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORLIN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUORLIN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORLIN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORLIN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORLIN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under Wine: CTest and the GoogleTest
# discovery start them through it. The prefix belongs to the build folder
# (see cmake/WineTests.cmake), never to ~/.wine.
find_program(QUORLIN_WINE wine)
if(QUORLIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORLIN_WINE})
endif()
