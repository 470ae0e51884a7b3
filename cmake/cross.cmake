# SPDX-License-Identifier: ISC
#
# Cross-building with Debian's cross compilers (g++-TRIPLET):
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake \
#       -DMAILFOLDERS_TRIPLET=aarch64-linux-gnu
#
# Running what it builds on this machine takes an emulator registered with
# binfmt_misc, and QEMU_LD_PREFIX=/usr/TRIPLET for the target's C library.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${MAILFOLDERS_TRIPLET}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAILFOLDERS_TRIPLET)
set(CMAKE_C_COMPILER ${MAILFOLDERS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MAILFOLDERS_TRIPLET}-g++)
