/* SPDX-License-Identifier: ISC */

#include <err.h>
#include <stdio.h>

#include "walkfolders.h"

/* Shown in the usage line when the program was started without a name. */
static const char progname[] = "mailfolders";

static char shownname[SHOWNPATHSIZE];

static int
usage(int argc, char *argv[])
{
	const char *name = progname;

	/* Linux hands an empty argv[0] to a program started with no argv. */
	if (argc > 0 && argv[0][0] != '\0')
		name = showpath(shownname, argv[0]);
	/* If standard error fails there is no one left to tell. */
	(void)fprintf(stderr, "usage: %s dir\n", name);
	return 1;
}

int
main(int argc, char *argv[])
{
	if (argc < 2)
		return usage(argc, argv);

	walkfolders(argv[1], NULL);

	/* The words are buffered; a failure to deliver them is a failure. */
	if (fflush(stdout) == EOF)
		err(1, "stdout");
	return 0;
}
