# SPDX-License-Identifier: ISC
#
# The version is set once, in project(VERSION); the news and the Debian
# changelog must name the same one at their tops, the manual pages'
# footers (.Os), the README's file names and the Arch and RPM recipes (the
# spec's %changelog at its top too) the same one.
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
foreach(page IN ITEMS mailfolders.1 mailfolders-mailboxes.1)
  file(STRINGS "${SOURCE}/man/${page}" os REGEX "^\\.Os")
  if(NOT os STREQUAL ".Os mailfolders ${VERSION}")
    message(FATAL_ERROR "man/${page} has \"${os}\", not \".Os mailfolders ${VERSION}\"")
  endif()
endforeach()
# The release's file names in the README.
file(READ "${SOURCE}/README.md" readme)
string(REGEX MATCHALL "mailfolders-[0-9]+\\.[0-9]+\\.[0-9]+" named "${readme}")
foreach(name IN LISTS named)
  if(NOT name STREQUAL "mailfolders-${VERSION}")
    message(FATAL_ERROR "README.md names ${name}, not mailfolders-${VERSION}")
  endif()
endforeach()
# The recipes for Arch Linux and RPM systems.
file(STRINGS "${SOURCE}/packaging/PKGBUILD" pkgver REGEX "^pkgver=")
if(NOT pkgver STREQUAL "pkgver=${VERSION}")
  message(FATAL_ERROR "packaging/PKGBUILD has \"${pkgver}\", not \"pkgver=${VERSION}\"")
endif()
file(STRINGS "${SOURCE}/packaging/mailfolders.spec" specversion REGEX "^Version:")
if(NOT specversion MATCHES "^Version: +${VERSION}$")
  message(FATAL_ERROR "packaging/mailfolders.spec has \"${specversion}\", not version ${VERSION}")
endif()
file(STRINGS "${SOURCE}/packaging/mailfolders.spec" changes REGEX "^\\* ")
list(GET changes 0 change)
if(NOT change MATCHES " - ${VERSION}-[0-9]+$")
  message(FATAL_ERROR "packaging/mailfolders.spec's %changelog begins with \"${change}\", not version ${VERSION}-N")
endif()
message(STATUS "version ${VERSION} in CMakeLists.txt, NEWS.md, debian/changelog, the manual pages, the README and the Arch and RPM recipes")
