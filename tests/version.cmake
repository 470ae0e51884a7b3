# SPDX-License-Identifier: ISC
#
# The version is set once, in project(VERSION); the news and the Debian
# changelog must name the same one at their tops, and the manual page's
# footer (.Os) the same one.
#
#   cmake -DVERSION=X.Y.Z -DSOURCE=DIR -P version.cmake

file(STRINGS "${SOURCE}/NEWS.md" headings REGEX "^## ")
list(GET headings 0 news)
if(NOT news STREQUAL "## ${VERSION}")
  message(FATAL_ERROR "NEWS.md begins with \"${news}\", not \"## ${VERSION}\"")
endif()

file(STRINGS "${SOURCE}/debian/changelog" entries REGEX "^[a-z]")
list(GET entries 0 entry)
if(NOT entry MATCHES "^mailfolders \\(${VERSION}-[0-9]+\\) ")
  message(FATAL_ERROR "debian/changelog begins with \"${entry}\", not version ${VERSION}-N")
endif()
file(STRINGS "${SOURCE}/man/mailfolders.1" os REGEX "^\\.Os")
if(NOT os STREQUAL ".Os mailfolders ${VERSION}")
  message(FATAL_ERROR "man/mailfolders.1 has \"${os}\", not \".Os mailfolders ${VERSION}\"")
endif()
message(STATUS "version ${VERSION} in CMakeLists.txt, NEWS.md, debian/changelog and the manual page")
