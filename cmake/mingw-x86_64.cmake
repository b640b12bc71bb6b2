# Cross toolchain for the 64-bit twin of the Windows programs (mingw-w64,
# x86_64).  Same sources and layout as the i686 tree; it exists so that the
# Windows tests can run on hosts whose kernel runs no 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(tool_prefix x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
