# Cross build of the 32-bit Windows program: MinGW-w64 with posix threads (Qt needs
# std::thread) and the static Qt made by scripts/build-qt-windows.sh.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/windows-i686.cmake [-DVQ_QT_WIN=<prefix>] ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

if(NOT VQ_QT_WIN)
  if(DEFINED ENV{VQ_QT_WIN})
    set(VQ_QT_WIN $ENV{VQ_QT_WIN})
  else()
    set(VQ_QT_WIN $ENV{HOME}/.cache/vqmonitor/qt5-i686)
  endif()
endif()
set(VQ_QT_WIN ${VQ_QT_WIN} CACHE PATH "Static Qt for 32-bit MinGW")
# try_compile projects read the toolchain again: hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VQ_QT_WIN)

set(CMAKE_FIND_ROOT_PATH ${VQ_QT_WIN} /usr/i686-w64-mingw32)
set(CMAKE_PREFIX_PATH ${VQ_QT_WIN})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in: no MinGW runtime DLL beside the .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# The cross Qt has no Linguist tools; the host's make the same catalogues.
set(Qt5LinguistTools_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools CACHE PATH "")

find_program(VQ_WINE NAMES wine wine-stable)
if(VQ_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VQ_WINE})
endif()
