# Cross toolchain for the 64-bit twin of the Windows programs (mingw-w64,
# x86_64).  Same sources and layout as the i686 tree; it exists so that the
# Windows tests can run on hosts whose kernel runs no 32-bit code.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(tool_prefix x86_64-w64-mingw32)
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
# (64-bit) prefix; the wrapper picks the loader from the program's format.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
