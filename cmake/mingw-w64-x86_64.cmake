# Cross-builds the Windows side from Debian with mingw-w64 (posix threads variant, for
# std::thread); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VYR_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VYR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VYR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VYR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VYR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(VYR_WINE NAMES wine wine64)
if(VYR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VYR_WINE})
endif()
