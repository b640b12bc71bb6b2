# What the two mingw-w64 toolchain files share; each sets tool_prefix and
# CMAKE_SYSTEM_PROCESSOR, then includes this file.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model: GoogleTest needs std::mutex, which the win32
# model of g++ 12 lacks.  Its runtime is linked statically like the rest.
set(CMAKE_C_COMPILER ${tool_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tool_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${tool_prefix}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tool_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows programs and their tests run through wine on the build tree's own
# prefix; the wrapper makes the prefix once, takes the wine (32- or 64-bit)
# from the program's format and stops its wineserver.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
