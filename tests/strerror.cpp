/* SPDX-License-Identifier: ISC */

/*
 * Prints strerror() of each error named as an argument (ENOENT, EIO, ...),
 * one to a line.  Built with the tool's own compiler and C library, so that
 * the tests expect the reason texts the tool really writes, whichever C
 * library that is.  The errors go by name, not number: the tests may run
 * on another kind of system than the tool (a static binary under an
 * emulator), and the numbers differ between them (MIPS has its own).
 * Plain C headers only: the static build has no C++ library.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

/* The errors the tests expect messages for. */
static const struct {
	const char *name;
	int number;
} errors[] = {
	{"EACCES", EACCES}, {"EAGAIN", EAGAIN}, {"EBADF", EBADF},
	{"EIO", EIO}, {"EMFILE", EMFILE}, {"ENAMETOOLONG", ENAMETOOLONG},
	{"ENOENT", ENOENT}, {"ENOSPC", ENOSPC}, {"ENOTDIR", ENOTDIR},
	{"EOVERFLOW", EOVERFLOW},
};

int
main(int argc, char *argv[])
{
	for (int i = 1; i < argc; i++) {
		size_t e = 0;

		while (e < sizeof errors / sizeof errors[0] && strcmp(errors[e].name, argv[i]) != 0)
			e++;
		if (e == sizeof errors / sizeof errors[0]) {
			fprintf(stderr, "mailfolders_strerror: no error named %s\n", argv[i]);
			return 1;
		}
		if (puts(strerror(errors[e].number)) == EOF)
			return 1;
	}
	return fflush(stdout) == EOF;
}
