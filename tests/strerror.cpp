/* SPDX-License-Identifier: ISC */

/*
 * Prints strerror(N) for each argument N, one to a line.  Built with the
 * tool's own compiler and C library, so that the tests expect the reason
 * texts the tool really writes, whichever C library that is.  Plain C
 * headers only: the static build has no C++ library.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int
main(int argc, char *argv[])
{
	for (int i = 1; i < argc; i++)
		if (puts(strerror(atoi(argv[i]))) == EOF)
			return 1;
	return fflush(stdout) == EOF;
}
