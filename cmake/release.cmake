# SPDX-License-Identifier: ISC
#
# Writes a release into one directory: the source tarball, the Arch Linux
# recipe (PKGBUILD) with the tarball's checksum in it, a static binary's
# tarball for every musl triplet of cmake/arches.txt whose toolchain
# is installed, and SHA256SUMS over them all.  A triplet whose toolchain is
# missing is left out, with the Debian packages that would bring it.
#
#   cmake -DSOURCE=DIR -DBINARY=DIR -DVERSION=X.Y.Z -DTARBALL=FILE \
#       -DOUTPUT=DIR -P release.cmake
include("${CMAKE_CURRENT_LIST_DIR}/musltargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/static.cmake")

file(REMOVE_RECURSE "${OUTPUT}")
file(MAKE_DIRECTORY "${OUTPUT}")
file(COPY "${TARBALL}" DESTINATION "${OUTPUT}")

# The recipe in the source skips the checksum (it cannot name the checksum
# of a tarball that holds it); the release's copy names it.
file(SHA256 "${TARBALL}" tarball_sha256)
file(READ "${SOURCE}/packaging/PKGBUILD" pkgbuild)
string(REPLACE "sha256sums=('SKIP')" "sha256sums=('${tarball_sha256}')" released "${pkgbuild}")
if(released STREQUAL pkgbuild)
  message(FATAL_ERROR "packaging/PKGBUILD has no sha256sums=('SKIP') to fill in")
endif()
file(WRITE "${OUTPUT}/PKGBUILD" "${released}")

mailfolders_musl_triplets(triplets)
set(left "")
foreach(triplet IN LISTS triplets)
  mailfolders_musl_target(${triplet} arch gnu)
  mailfolders_musl_compiler(${triplet} compiler)
  find_program(MAILFOLDERS_CXX_${triplet} ${compiler})
  if(compiler STREQUAL g++)
    set(packages "apt-get install g++ musl-tools")
  else()
    set(packages "dpkg --add-architecture ${arch}; apt-get install g++-${gnu} musl-dev:${arch}")
  endif()
  if(NOT MAILFOLDERS_CXX_${triplet} OR NOT EXISTS "/usr/lib/${triplet}/libc.a")
    message("release: ${triplet} (${arch}) left out: its toolchain is missing"
      " (Debian: ${packages})")
    list(APPEND left ${triplet})
    continue()
  endif()
  mailfolders_static("${SOURCE}" "${BINARY}/static-${triplet}" ${triplet} ${VERSION} "${OUTPUT}")
endforeach()

# In the format sha256sum -c reads: the hash, two spaces, the name.
file(GLOB files RELATIVE "${OUTPUT}" "${OUTPUT}/*")
list(SORT files)
set(sums "")
foreach(name IN LISTS files)
  file(SHA256 "${OUTPUT}/${name}" hash)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE "${OUTPUT}/SHA256SUMS" "${sums}")
list(LENGTH files n)
message(STATUS "Wrote ${OUTPUT}: ${n} files and SHA256SUMS")
if(left)
  string(REPLACE ";" ", " left "${left}")
  message(STATUS "Left out: ${left}")
endif()
