# SPDX-License-Identifier: ISC
#
# The static binaries a release holds, one for each musl triplet (as
# Debian's musl-dev names its directories), with the Debian architecture
# whose musl-dev brings the C library and the triplet of Debian's cross
# compiler for it (g++-TRIPLET).  This machine's own builds with g++.
set(MAILFOLDERS_MUSL_TARGETS
  # musl triplet          Debian arch  cross compiler
  x86_64-linux-musl       amd64        x86_64-linux-gnu
  aarch64-linux-musl      arm64        aarch64-linux-gnu
  arm-linux-musleabi      armel        arm-linux-gnueabi
  arm-linux-musleabihf    armhf        arm-linux-gnueabihf
  i386-linux-musl         i386         i686-linux-gnu
  mips64el-linux-musl     mips64el     mips64el-linux-gnuabi64
  mipsel-linux-musl       mipsel       mipsel-linux-gnu
  powerpc64le-linux-musl  ppc64el      powerpc64le-linux-gnu
  riscv64-linux-musl      riscv64      riscv64-linux-gnu
  s390x-linux-musl        s390x        s390x-linux-gnu)

# The musl triplets of the table, in its order.
function(mailfolders_musl_triplets out)
  set(triplets "")
  list(LENGTH MAILFOLDERS_MUSL_TARGETS n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    list(GET MAILFOLDERS_MUSL_TARGETS ${i} triplet)
    list(APPEND triplets ${triplet})
  endforeach()
  set(${out} ${triplets} PARENT_SCOPE)
endfunction()

# The Debian architecture and the cross compiler's triplet for a musl
# triplet; a triplet the table does not hold is an error.
function(mailfolders_musl_target triplet archvar gnuvar)
  list(FIND MAILFOLDERS_MUSL_TARGETS "${triplet}" i)
  if(i EQUAL -1)
    message(FATAL_ERROR "no static build is known for ${triplet}; one of: ${MAILFOLDERS_MUSL_TARGETS}")
  endif()
  math(EXPR a "${i} + 1")
  math(EXPR g "${i} + 2")
  list(GET MAILFOLDERS_MUSL_TARGETS ${a} arch)
  list(GET MAILFOLDERS_MUSL_TARGETS ${g} gnu)
  set(${archvar} ${arch} PARENT_SCOPE)
  set(${gnuvar} ${gnu} PARENT_SCOPE)
endfunction()

# The compiler that builds for a musl triplet: this machine's g++ for its
# own processor, else Debian's cross compiler.
function(mailfolders_musl_compiler triplet out)
  mailfolders_musl_target(${triplet} arch gnu)
  string(REGEX REPLACE "-.*" "" processor "${triplet}")
  cmake_host_system_information(RESULT host QUERY OS_PLATFORM)
  if(processor STREQUAL host)
    set(${out} g++ PARENT_SCOPE)
  else()
    set(${out} ${gnu}-g++ PARENT_SCOPE)
  endif()
endfunction()
