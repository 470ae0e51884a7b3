# SPDX-License-Identifier: ISC
#
# cmake/setversion.cmake, on a copy of the files that name the version,
# makes another version everywhere (the version test then passes for it),
# and back again changes nothing but what names the version: no other
# number in the README or the manual pages.
#
#   cmake -DVERSION=X.Y.Z -DSOURCE=DIR -DWORK=DIR -P setversion.cmake

set(files CMakeLists.txt NEWS.md README.md debian/changelog man/mailfolders.1
  man/mailfolders-mailboxes.1 packaging/PKGBUILD packaging/mailfolders.spec)
file(REMOVE_RECURSE "${WORK}")
foreach(f IN LISTS files)
  configure_file("${SOURCE}/${f}" "${WORK}/${f}" COPYONLY)
endforeach()

set(other 99.98.97)
execute_process(COMMAND "${CMAKE_COMMAND}" -DVERSION=${other} -DSOURCE=${WORK}
  -P "${SOURCE}/cmake/setversion.cmake" RESULT_VARIABLE rv)
if(NOT rv EQUAL 0)
  message(FATAL_ERROR "setversion ${other} failed")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -DVERSION=${other} -DSOURCE=${WORK}
  -P "${SOURCE}/tests/version.cmake" RESULT_VARIABLE rv)
if(NOT rv EQUAL 0)
  message(FATAL_ERROR "after setversion ${other}, the places disagree")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -DVERSION=${VERSION} -DSOURCE=${WORK}
  -P "${SOURCE}/cmake/setversion.cmake" RESULT_VARIABLE rv)
foreach(f CMakeLists.txt README.md man/mailfolders.1 man/mailfolders-mailboxes.1
    packaging/PKGBUILD)
  file(READ "${SOURCE}/${f}" before)
  file(READ "${WORK}/${f}" after)
  if(NOT before STREQUAL after)
    message(FATAL_ERROR "setversion ${other} and back to ${VERSION} changed ${f}")
  endif()
endforeach()
file(REMOVE_RECURSE "${WORK}")
message(STATUS "setversion makes ${other} everywhere and ${VERSION} again")
