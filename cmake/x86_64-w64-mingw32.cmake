# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads, which
# Qt needs), against the Qt for Windows that scripts/qt-windows builds from
# Debian's sources. Qt's code generators (moc, rcc, uic) are the host's;
# programs the build or the tests start run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(DEFINED ENV{RW7300_QT_WINDOWS})
    list(PREPEND CMAKE_FIND_ROOT_PATH "$ENV{RW7300_QT_WINDOWS}")
    list(PREPEND CMAKE_PREFIX_PATH "$ENV{RW7300_QT_WINDOWS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, whose tools generate code")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
