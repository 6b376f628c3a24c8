# Cross build for 64-bit Windows with MinGW-w64. Not the product (that is the i686
# DLL): this build exists to run the Win32 side of the code under wine64, since
# the build machines cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
