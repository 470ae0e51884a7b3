# SPDX-License-Identifier: ISC
#
# The version is set once, in project(VERSION); the news and the Debian
# changelog must name the same one at their tops.
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
message(STATUS "version ${VERSION} in CMakeLists.txt, NEWS.md and debian/changelog")
