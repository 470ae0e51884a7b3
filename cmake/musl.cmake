# SPDX-License-Identifier: ISC
#
# A static build against musl, a binary that runs on any Linux of its
# architecture:
#
#   cmake -S . -B build/static -DCMAKE_TOOLCHAIN_FILE=cmake/musl.cmake \
#       -DMAILFOLDERS_TRIPLET=x86_64-linux-musl
#
# Debian's musl-tools (musl-dev:ARCH for another architecture, built with
# its g++ cross compiler).  The tool needs the C library alone, so g++
# compiles it against musl's headers, without exceptions or RTTI, and it is
# linked with no C++ library.  It is a static PIE: musl's rcrt1.o relocates
# the program itself before main.
set(CMAKE_SYSTEM_NAME Linux)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${MAILFOLDERS_TRIPLET}")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAILFOLDERS_TRIPLET)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL CMAKE_HOST_SYSTEM_PROCESSOR)
  set(CMAKE_CXX_COMPILER g++)
else()
  set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu-g++)
endif()

set(musl /usr/lib/${MAILFOLDERS_TRIPLET})
set(CMAKE_CXX_FLAGS_INIT
  "-nostdinc -isystem /usr/include/${MAILFOLDERS_TRIPLET} -fno-exceptions -fno-rtti")
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=crtbeginS.o
  OUTPUT_VARIABLE crtbegin OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=crtendS.o
  OUTPUT_VARIABLE crtend OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
set(CMAKE_CXX_LINK_EXECUTABLE "<CMAKE_CXX_COMPILER> <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> -static-pie -nostdlib ${musl}/rcrt1.o ${musl}/crti.o ${crtbegin} <OBJECTS> -o <TARGET> <LINK_LIBRARIES> -L${musl} -lc ${libgcc} ${crtend} ${musl}/crtn.o")
