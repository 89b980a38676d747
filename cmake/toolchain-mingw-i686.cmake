# The product: 32-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KELVANE_MINGW_TRIPLET i686-w64-mingw32)
set(KELVANE_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
