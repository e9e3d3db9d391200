# Cross-builds the Windows side with mingw-w64 (posix thread model); tests run under Wine. Included
# by the toolchain file of each architecture after it has set OSTRABEL_MINGW_PROCESSOR (i686,
# x86_64) and OSTRABEL_WINE_ARCH (32, 64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${OSTRABEL_MINGW_PROCESSOR})
set(triplet ${OSTRABEL_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/winerun ${OSTRABEL_WINE_ARCH})
