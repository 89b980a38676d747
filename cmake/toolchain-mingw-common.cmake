# Shared part of the mingw-w64 cross-builds; the including file sets KELVANE_MINGW_TRIPLET and
# KELVANE_WINE_ARCH. The -posix compilers are required: the -win32 thread model has no
# std::mutex and GoogleTest does not build with it.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${KELVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests run through Wine; the wrapper pins the project's own prefix and quiets Wine's logging.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run;${KELVANE_WINE_ARCH})

# No DLLs beside the exe but the system's.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
