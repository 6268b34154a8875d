# Cross build for 64-bit ARM (a Raspberry Pi 4 or 5 with a 64-bit Debian) on a
# Debian 12 host with the arm64 multi-arch Qt packages (scripts/install-deps
# --arm64). Qt's code generators (moc, rcc, uic) are the host's; programs the
# build or the tests start run under qemu-aarch64.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Multi-arch keeps the arm64 libraries under /usr/lib/aarch64-linux-gnu beside
# the host's: the root is / and the library architecture picks the directory.
set(CMAKE_FIND_ROOT_PATH /usr/lib/aarch64-linux-gnu /usr/aarch64-linux-gnu /)
set(CMAKE_PREFIX_PATH /usr/lib/aarch64-linux-gnu/cmake)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(QT_HOST_PATH /usr CACHE PATH "The host's Qt, whose tools generate code")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# Plain qemu-aarch64 finds the multi-arch loader and libraries where they are;
# -L /usr/aarch64-linux-gnu would mix in the cross toolchain's C library and
# hang every program at its first thread.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
