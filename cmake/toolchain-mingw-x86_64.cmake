# The 64-bit twin of the Windows build (the same sources), for machines that cannot run 32-bit
# code at all, and for the benchmarks where 32-bit code would run emulated.
set(OSTRABEL_MINGW_PROCESSOR x86_64)
set(OSTRABEL_WINE_ARCH 64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
