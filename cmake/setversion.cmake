# SPDX-License-Identifier: ISC
#
# Makes VERSION the version of the tree in SOURCE, in every place that
# names it: project(VERSION) in CMakeLists.txt, the manual pages' footers
# (.Os), the release's file names in README.md, the Arch and RPM recipes
# (whose package release goes back to 1 with a new version), and the tops
# of NEWS.md, debian/changelog and the RPM recipe's %changelog, each of which
# gets an entry for it if it has none (the news' entry is a heading, for
# the text of the release; the changelogs' a line, dated now, so that it
# lies before every build of the package).
# The version test (tests/version.cmake) fails while any place differs.
#
#   cmake -DVERSION=X.Y.Z [-DSOURCE=DIR] -P cmake/setversion.cmake

if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "usage: cmake -DVERSION=X.Y.Z [-DSOURCE=DIR] -P cmake/setversion.cmake")
endif()
if(NOT SOURCE)
  get_filename_component(SOURCE "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()
set(dotted "[0-9]+\\.[0-9]+\\.[0-9]+")

# replace FILE REGEX REPLACEMENT: rewrite every match of REGEX in FILE.
function(replace file regex replacement)
  file(READ "${SOURCE}/${file}" text)
  string(REGEX REPLACE "${regex}" "${replacement}" text "${text}")
  file(WRITE "${SOURCE}/${file}" "${text}")
endfunction()

replace(CMakeLists.txt "project\\(mailfolders VERSION ${dotted}" "project(mailfolders VERSION ${VERSION}")
foreach(page IN ITEMS mailfolders.1 mailfolders-mailboxes.1)
  replace("man/${page}" "\n\\.Os mailfolders ${dotted}\n" "\n.Os mailfolders ${VERSION}\n")
endforeach()
replace(README.md "mailfolders-${dotted}" "mailfolders-${VERSION}")

file(READ "${SOURCE}/packaging/PKGBUILD" pkgbuild)
if(NOT pkgbuild MATCHES "\npkgver=${VERSION}\n")
  replace(packaging/PKGBUILD "\npkgver=${dotted}\npkgrel=[0-9]+\n" "\npkgver=${VERSION}\npkgrel=1\n")
endif()
file(READ "${SOURCE}/packaging/mailfolders.spec" rpmrecipe)
if(NOT rpmrecipe MATCHES "\nVersion: +${VERSION}\n")
  string(TIMESTAMP day "%a %b %d %Y" UTC)
  string(REGEX REPLACE "\n(Version: +)${dotted}\n(Release: +)[0-9]+" "\n\\1${VERSION}\n\\21" rpmrecipe "${rpmrecipe}")
  string(REPLACE "\n%changelog\n" "\n%changelog
* ${day} The mailfolders authors <mailfolders@example.org> - ${VERSION}-1
- New upstream release ${VERSION}.

" rpmrecipe "${rpmrecipe}")
  file(WRITE "${SOURCE}/packaging/mailfolders.spec" "${rpmrecipe}")
endif()

file(READ "${SOURCE}/NEWS.md" news)
if(NOT news MATCHES "\n## ${VERSION}\n")
  string(FIND "${news}" "\n## " first)
  string(SUBSTRING "${news}" 0 ${first} head)
  string(SUBSTRING "${news}" ${first} -1 rest)
  file(WRITE "${SOURCE}/NEWS.md" "${head}\n## ${VERSION}\n${rest}")
  message(STATUS "NEWS.md: a heading for ${VERSION}; write what changed below it")
endif()

file(READ "${SOURCE}/debian/changelog" changelog)
if(NOT changelog MATCHES "^mailfolders \\(${VERSION}-")
  string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(WRITE "${SOURCE}/debian/changelog" "mailfolders (${VERSION}-1) unstable; urgency=medium

  * New upstream release ${VERSION}.

 -- The mailfolders authors <mailfolders@example.org>  ${now}

${changelog}")
endif()
message(STATUS "version ${VERSION} set in ${SOURCE}")
