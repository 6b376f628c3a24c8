# Cross build for 32-bit Windows with MinGW-w64: the product, cobbleweave.dll.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake")

# The tests run the programs under 32-bit Wine (through qemu-i386 where the
# kernel cannot run i386 code; scripts/setup.sh arranges both).
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
