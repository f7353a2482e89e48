# Cross-compiling the launcher for 64-bit Windows with mingw-w64 (the posix thread variant, which
# has std::thread and std::mutex). Programs are linked statically, so they need no MinGW DLLs, and
# the tests run under Wine through cmake/WineRun.cmake's wrapper.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SOLANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SOLANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SOLANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SOLANE_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SOLANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The static zlib of the MinGW tree, not its import library.
set(ZLIB_USE_STATIC_LIBS ON)
