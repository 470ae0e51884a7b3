# SPDX-License-Identifier: ISC
#
# The version is set once, in project(VERSION); the news and the Debian
# changelog must name the same one at their tops, the manual pages'
# footers (.Os), the README's file names and the Arch and RPM recipes (the
# RPM recipe's %changelog at its top too) the same one.
#
#   cmake -DVERSION=X.Y.Z -DSOURCE=DIR -P version.cmake

# expect(FILE SELECT WANT): the first line of FILE that matches the regular
# expression SELECT must match WANT.
function(expect file select want)
  file(STRINGS "${SOURCE}/${file}" lines REGEX "${select}")
  list(GET lines 0 line)
  if(NOT line MATCHES "${want}")
    message(FATAL_ERROR "${file} has \"${line}\" where it should name version ${VERSION}")
  endif()
endfunction()

string(REPLACE "." "\\." version "${VERSION}")
expect(NEWS.md "^## " "^## ${version}$")
expect(debian/changelog "^[a-z]" "^mailfolders \\(${version}-[0-9]+\\) ")
foreach(page IN ITEMS mailfolders.1 mailfolders-mailboxes.1)
  expect(man/${page} "^\\.Os" "^\\.Os mailfolders ${version}$")
endforeach()
# The release's file names in the README.
file(READ "${SOURCE}/README.md" readme)
string(REGEX MATCHALL "mailfolders-[0-9]+\\.[0-9]+\\.[0-9]+" named "${readme}")
foreach(name IN LISTS named)
  if(NOT name STREQUAL "mailfolders-${VERSION}")
    message(FATAL_ERROR "README.md names ${name}, not mailfolders-${VERSION}")
  endif()
endforeach()
# The recipes for Arch Linux and RPM systems, and the RPM recipe's %changelog.
expect(packaging/PKGBUILD "^pkgver=" "^pkgver=${version}$")
expect(packaging/mailfolders.spec "^Version:" "^Version: +${version}$")
expect(packaging/mailfolders.spec "^\\* " " - ${version}-[0-9]+$")
message(STATUS "version ${VERSION} in CMakeLists.txt, NEWS.md, debian/changelog, the manual pages, the README and the Arch and RPM recipes")
