# Shared part of the cross toolchains: Debian's cross compiler for BRIVANE_DEB_ARCH with
# that architecture's multiarch libraries (dpkg --add-architecture), and qemu user-mode
# emulation to run the target's programs (the unit tests, the service under test).
# Each toolchain file sets BRIVANE_DEB_ARCH, BRIVANE_TRIPLET, CMAKE_SYSTEM_PROCESSOR and
# BRIVANE_QEMU, then includes this file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${BRIVANE_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${BRIVANE_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${BRIVANE_TRIPLET})

# Multiarch keeps every architecture's libraries and CMake packages under one root (/),
# each in its lib/<triplet> folder; programs (moc, uic, gzip, dpkg-shlibdeps) are the
# build machine's own.
set(CMAKE_FIND_ROOT_PATH /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# pkg-config must describe the target's libraries, not the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${BRIVANE_TRIPLET}/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# The loader and C runtime of the cross toolchain come first; the target's multiarch
# libraries (libsystemd, Qt) are found in their usual folders.
find_program(BRIVANE_QEMU_PROGRAM ${BRIVANE_QEMU}-static ${BRIVANE_QEMU})
if(BRIVANE_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${BRIVANE_QEMU_PROGRAM} -L /usr/${BRIVANE_TRIPLET})
endif()
