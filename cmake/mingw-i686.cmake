# Cross build of the 32-bit Windows tools with MinGW-w64 (Debian's
# g++-mingw-w64-i686). The posix-threads variant gives the C++ thread and
# mutex types GoogleTest needs; -static (top CMakeLists) links its pthread
# runtime in, so no DLL stands beside the executables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VOSTREL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VOSTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOSTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VOSTREL_MINGW_PREFIX}-windres)
set(CMAKE_AR ${VOSTREL_MINGW_PREFIX}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VOSTREL_MINGW_PREFIX}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VOSTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test executables run under Wine, each build folder with a Wine prefix of
# its own so runs never touch the user's ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
