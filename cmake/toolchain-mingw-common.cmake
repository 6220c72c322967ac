# Shared by toolchain-mingw64.cmake and toolchain-mingw32.cmake: set
# QUILLON_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR, then include this file.
set(CMAKE_SYSTEM_NAME Windows)

# mingw-w64 with the posix threads model (std::thread, std::mutex).
set(CMAKE_C_COMPILER ${QUILLON_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine; scripts/lib/wine-session.sh sets WINEPREFIX and WINEDEBUG
# (and, on a machine without 32-bit support, puts a `wine` that starts the
# 64-bit loader first on PATH).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
