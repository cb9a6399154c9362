# Cross build of the Windows program: MinGW-w64 with posix threads (Qt needs std::thread) and
# the static Qt made by scripts/build-qt-windows.sh. VQ_WIN_ARCH is i686 (the product, default)
# or x86_64 (its twin for test machines whose kernel runs no 32-bit code).
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/windows.cmake [-DVQ_WIN_ARCH=x86_64] [-DVQ_QT_WIN=<prefix>] ...
if(NOT VQ_WIN_ARCH)
  set(VQ_WIN_ARCH i686)
endif()
set(VQ_WIN_ARCH ${VQ_WIN_ARCH} CACHE STRING "i686 or x86_64")
set(vq_cross ${VQ_WIN_ARCH}-w64-mingw32)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VQ_WIN_ARCH})
set(CMAKE_C_COMPILER ${vq_cross}-gcc-posix)
set(CMAKE_CXX_COMPILER ${vq_cross}-g++-posix)
set(CMAKE_RC_COMPILER ${vq_cross}-windres)

if(NOT VQ_QT_WIN)
  if(VQ_WIN_ARCH STREQUAL "i686" AND DEFINED ENV{VQ_QT_WIN})
    set(VQ_QT_WIN $ENV{VQ_QT_WIN})
  elseif(VQ_WIN_ARCH STREQUAL "x86_64" AND DEFINED ENV{VQ_QT_WIN64})
    set(VQ_QT_WIN $ENV{VQ_QT_WIN64})
  else()
    set(VQ_QT_WIN $ENV{HOME}/.cache/vqmonitor/qt5-${VQ_WIN_ARCH})
  endif()
endif()
set(VQ_QT_WIN ${VQ_QT_WIN} CACHE PATH "Static Qt for MinGW")
# try_compile projects read the toolchain again: hand them the choices.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VQ_QT_WIN VQ_WIN_ARCH)

set(CMAKE_FIND_ROOT_PATH ${VQ_QT_WIN} /usr/${vq_cross})
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
