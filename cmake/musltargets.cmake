# SPDX-License-Identifier: ISC
#
# The static binaries a release holds, one for each musl triplet (as
# Debian's musl-dev names its directories), with the Debian architecture
# whose musl-dev brings the C library and the triplet of Debian's cross
# compiler for it (g++-TRIPLET): three items a static binary, from the
# table of architectures, cmake/arches.txt.  This machine's own builds
# with g++.
function(mailfolders_read_arches out)
  set(targets "")
  file(STRINGS "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/arches.txt" rows REGEX "^[a-z]")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "[ \t]+" ";" row "${row}")
    list(GET row 0 arch)
    list(GET row 1 gnu)
    list(GET row 3 musltriplet)
    list(APPEND targets ${musltriplet} ${arch} ${gnu})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
mailfolders_read_arches(MAILFOLDERS_MUSL_TARGETS)

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
