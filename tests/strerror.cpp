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
#include <stdio.h>
#include <string.h>

#include "errornames.h"

int
main(int argc, char *argv[])
{
	for (int i = 1; i < argc; i++) {
		size_t e = 0;

		while (e < NERRORNAMES && strcmp(errornames[e].name, argv[i]) != 0)
			e++;
		if (e == NERRORNAMES) {
			fprintf(stderr, "mailfolders_strerror: no error named %s\n", argv[i]);
			return 1;
		}
		if (puts(strerror(errornames[e].number)) == EOF)
			return 1;
	}
	return fflush(stdout) == EOF;
}
