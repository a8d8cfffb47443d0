# 32-bit ARM with hardware floating point (Raspberry Pi OS 32-bit: older boards, Zero).
set(BRIVANE_DEB_ARCH armhf)
set(BRIVANE_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(BRIVANE_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
