# SPDX-License-Identifier: ISC
#
# Builds the static binary for a musl triplet in a build of its own
# (cmake/musl.cmake) and packs it with its manual and documents as
# mailfolders-VERSION-TRIPLET.tar.gz, the same bytes every time: one top
# directory of that name, sorted, owned by root, modes 0755 and 0644, every
# time stamp the commit's (SOURCE_DATE_EPOCH, if set), and gzip without a
# time stamp of its own.
#
#   cmake -DSOURCE=DIR -DBUILD=DIR -DTRIPLET=TRIPLET -DVERSION=X.Y.Z \
#       -DOUTPUT=DIR -P static.cmake
#
# Included, it only defines mailfolders_static() (cmake/release.cmake).

# run COMMAND...: run a command, ending the script if it fails.
function(mailfolders_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rv)
  if(NOT rv EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}: ${rv}")
  endif()
endfunction()

# The time every file of a tarball carries.
function(mailfolders_epoch source out)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  else()
    execute_process(COMMAND git -C "${source}" log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rv)
    if(NOT rv EQUAL 0)
      # In the release tarball every file carries the commit's time.
      file(TIMESTAMP "${source}/NEWS.md" epoch "%s" UTC)
    endif()
  endif()
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()

# Build the static binary for triplet in build and write its tarball into
# the directory output.
function(mailfolders_static source build triplet version output)
  mailfolders_run("${CMAKE_COMMAND}" -S "${source}" -B "${build}"
    "-DCMAKE_TOOLCHAIN_FILE=${source}/cmake/musl.cmake" "-DMAILFOLDERS_TRIPLET=${triplet}"
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF)
  mailfolders_run("${CMAKE_COMMAND}" --build "${build}" --target mailfolders mailfolders_strerror)

  set(name "mailfolders-${version}-${triplet}")
  mailfolders_epoch("${source}" epoch)
  get_filename_component(stage "${output}/${name}.stage" ABSOLUTE)
  file(REMOVE_RECURSE "${stage}")
  file(MAKE_DIRECTORY "${stage}/${name}")
  file(COPY "${build}/mailfolders" "${source}/src/mailfolders-mailboxes"
    "${source}/man/mailfolders.1" "${source}/man/mailfolders-mailboxes.1" "${source}/LICENSE"
    "${source}/README.md" "${source}/NEWS.md" DESTINATION "${stage}/${name}")
  file(COPY "${source}/examples/muttrc" "${source}/examples/neomuttrc"
    "${source}/examples/mailfolders.rc" "${source}/examples/sidebar.rc"
    DESTINATION "${stage}/${name}/examples")
  execute_process(
    COMMAND tar --format=gnu --sort=name --mtime=@${epoch} --owner=0 --group=0
      --numeric-owner --mode=u=rwX,go=rX -cf - "${name}"
    COMMAND gzip -9n
    WORKING_DIRECTORY "${stage}"
    OUTPUT_FILE "${output}/${name}.tar.gz"
    RESULTS_VARIABLE results)
  file(REMOVE_RECURSE "${stage}")
  if(NOT results STREQUAL "0;0")
    file(REMOVE "${output}/${name}.tar.gz")
    message(FATAL_ERROR "packing ${name}: tar and gzip gave ${results}")
  endif()
  message(STATUS "Wrote ${output}/${name}.tar.gz")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  mailfolders_static("${SOURCE}" "${BUILD}" "${TRIPLET}" "${VERSION}" "${OUTPUT}")
endif()
