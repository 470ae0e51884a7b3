# SPDX-License-Identifier: ISC
#
# A static build against musl, a binary that runs on any Linux of its
# architecture:
#
#   cmake -S . -B build/static -DCMAKE_TOOLCHAIN_FILE=cmake/musl.cmake \
#       -DMAILFOLDERS_TRIPLET=x86_64-linux-musl
#
# Debian's musl-tools, or musl-dev:ARCH for another architecture, built
# with its g++ cross compiler (cmake/arches.txt names them).  The
# tool needs the C library alone, so g++ compiles it against musl's
# headers, without exceptions or RTTI, and it is linked with no C++
# library and without debugging information; the symbols stay, for
# checksec to find the stack protector by.
#
# It is a static PIE, which musl's rcrt1.o relocates before main, where the
# compiler driver can link one (its built-in link rules handle -static-pie).
# GCC 12 for ARM, MIPS and RISC-V cannot: there -static-pie silently links
# a dynamic program, and -static -pie one that crashes at start, so those
# are plain static binaries, from crt1.o.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${MAILFOLDERS_TRIPLET}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAILFOLDERS_TRIPLET)

include("${CMAKE_CURRENT_LIST_DIR}/musltargets.cmake")
mailfolders_musl_compiler("${MAILFOLDERS_TRIPLET}" CMAKE_CXX_COMPILER)

set(musl /usr/lib/${MAILFOLDERS_TRIPLET})
set(CMAKE_CXX_FLAGS_INIT
  "-nostdinc -isystem /usr/include/${MAILFOLDERS_TRIPLET} -fno-exceptions -fno-rtti")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpspecs
  OUTPUT_VARIABLE driverrules ERROR_QUIET)
if(driverrules MATCHES "static-pie:[^}]*--no-dynamic-linker")
  set(link -static-pie)
  set(crt1 rcrt1.o)
  set(crtbegin crtbeginS.o)
  set(crtend crtendS.o)
else()
  set(link -static)
  set(crt1 crt1.o)
  set(crtbegin crtbeginT.o)
  set(crtend crtend.o)
  # Read by the project's hardening: no -pie for this link.
  set(MAILFOLDERS_NO_PIE ON)
endif()
foreach(object crtbegin crtend)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${${object}}
    OUTPUT_VARIABLE ${object} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
# libgcc calls back into the C library (raise, on ARM), hence -lc twice.
set(CMAKE_CXX_LINK_EXECUTABLE "<CMAKE_CXX_COMPILER> <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> ${link} -nostdlib -Wl,--strip-debug ${musl}/${crt1} ${musl}/crti.o ${crtbegin} <OBJECTS> -o <TARGET> <LINK_LIBRARIES> -L${musl} -lc ${libgcc} -lc ${crtend} ${musl}/crtn.o")
