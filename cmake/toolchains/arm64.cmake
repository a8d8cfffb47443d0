# 64-bit ARM (Raspberry Pi 3, 4 and 5 with a 64-bit system).
set(BRIVANE_DEB_ARCH arm64)
set(BRIVANE_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(BRIVANE_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
