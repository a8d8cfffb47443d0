# 32-bit ARM with hardware floating point: Debian's armhf, ARMv7 and newer (Raspberry Pi 2
# and later with a 32-bit system).
set(BRIVANE_DEB_ARCH armhf)
set(BRIVANE_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(BRIVANE_QEMU qemu-arm)
# Every part is built by this one compiler: GCC 7.1's change in passing some arguments,
# of which -Wpsabi tells, concerns no caller.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
