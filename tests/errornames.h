/* SPDX-License-Identifier: ISC */

/*
 * The errors the tests expect messages for, by name and number.  The tests
 * and mailfolders_strerror pass them by name: they may run on different
 * kinds of system (a static binary under an emulator), whose numbers differ
 * (MIPS has its own).  Plain C, for the static build, which has no C++
 * library.
 */
#ifndef MAILFOLDERS_TEST_ERRORNAMES_H
#define MAILFOLDERS_TEST_ERRORNAMES_H

#include <errno.h>

static const struct errorname {
	const char *name;
	int number;
} errornames[] = {
	{"EACCES", EACCES}, {"EAGAIN", EAGAIN}, {"EBADF", EBADF},
	{"EIO", EIO}, {"EMFILE", EMFILE}, {"ENAMETOOLONG", ENAMETOOLONG},
	{"ENOENT", ENOENT}, {"ENOSPC", ENOSPC}, {"ENOTDIR", ENOTDIR},
	{"EOVERFLOW", EOVERFLOW},
};

enum { NERRORNAMES = sizeof errornames / sizeof errornames[0] };

#endif
