# The same sources for 64-bit Windows: the build whose tests run under Wine on hosts that cannot
# execute 32-bit code (no 32-bit user mode, so no 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELVANE_MINGW_TRIPLET x86_64-w64-mingw32)
set(KELVANE_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
