# Cross build for 64-bit Windows with the mingw-w64 compilers (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
# zstd built for MinGW by .ci/zstd-mingw, where it puts it
if(DEFINED ENV{NATIVEGEN_ZSTD_MINGW})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{NATIVEGEN_ZSTD_MINGW}/install")
elseif(DEFINED ENV{HOME})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{HOME}/.cache/nativegen/zstd-mingw/install")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Everything linked in: the programs run anywhere, Wine included, alone.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run CACHE STRING "Runs the Windows programs")
