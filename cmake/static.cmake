# SPDX-License-Identifier: ISC
#
# Packs the static binary with its manual and documents, the same bytes
# every time: one top directory NAME, sorted, owned by root, modes 0755 and
# 0644, every time stamp the commit's (SOURCE_DATE_EPOCH, if set), and
# gzip without a time stamp of its own.
#
#   cmake -DSOURCE=DIR -DBINARY=FILE -DNAME=NAME -DOUTPUT=FILE -P static.cmake

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git -C "${SOURCE}" log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rv)
  if(NOT rv EQUAL 0)
    # In the release tarball every file carries the commit's time.
    file(TIMESTAMP "${SOURCE}/NEWS.md" epoch "%s" UTC)
  endif()
endif()

get_filename_component(stage "${OUTPUT}.stage" ABSOLUTE)
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}/${NAME}")
file(COPY "${BINARY}" "${SOURCE}/man/mailfolders.1" "${SOURCE}/LICENSE"
  "${SOURCE}/README.md" "${SOURCE}/NEWS.md" DESTINATION "${stage}/${NAME}")
execute_process(
  COMMAND tar --format=gnu --sort=name --mtime=@${epoch} --owner=0 --group=0
    --numeric-owner --mode=u=rwX,go=rX -cf - "${NAME}"
  COMMAND gzip -9n
  WORKING_DIRECTORY "${stage}"
  OUTPUT_FILE "${OUTPUT}"
  RESULTS_VARIABLE results)
file(REMOVE_RECURSE "${stage}")
if(NOT results STREQUAL "0;0")
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "packing ${NAME}: tar and gzip gave ${results}")
endif()
message(STATUS "Wrote ${OUTPUT}")
