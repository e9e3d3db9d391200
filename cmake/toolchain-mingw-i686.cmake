# The shipped 32-bit Windows build.
set(OSTRABEL_MINGW_PROCESSOR i686)
set(OSTRABEL_WINE_ARCH 32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
