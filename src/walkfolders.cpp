#include <sys/stat.h>

#include <dirent.h>
#include <err.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "walkfolders.h"

/* Room for a built entry path or folder name: 1023 bytes and the NUL. */
enum { NAMEBUFSIZE = 1024 };

/*
 * Write the word for a folder.  The root has no name of its own; its word
 * is "+ ".  A failed write means the reader misses folders, so it ends the
 * run rather than being lost in the buffer.
 */
static void
putword(const char *foldername)
{
	if (printf("+%s ", foldername != NULL ? foldername : "") < 0)
		err(1, "stdout");
}

/*
 * Build "head/name" in buf, or "name" alone when head is NULL.  A result
 * that does not fit ends the run with the full path of the entry in the
 * message: cut to fit, a path could name the directory being walked again
 * and the walk would never end.
 */
static void
joinname(char *buf, const char *head, const char *name, const char *dirpath)
{
	int len;

	if (head != NULL)
		len = snprintf(buf, NAMEBUFSIZE, "%s/%s", head, name);
	else
		len = snprintf(buf, NAMEBUFSIZE, "%s", name);
	if (len < 0 || len >= NAMEBUFSIZE) {
		errno = ENAMETOOLONG;
		err(1, "stat(%s/%s)", dirpath, name);
	}
}

static bool
isdotordotdot(const char *name)
{
	return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

static bool
ismaildirsubdir(const char *name)
{
	return strcmp(name, "cur") == 0 || strcmp(name, "new") == 0 ||
	    strcmp(name, "tmp") == 0;
}

/*
 * Both buffers live in this frame and are lent to the next level for the
 * duration of the call, so memory grows with depth, not with entries.
 */
void
walkfolders(const char *dirpath, const char *foldername)
{
	char entrypath[NAMEBUFSIZE];
	char childname[NAMEBUFSIZE];
	struct stat sb;
	struct dirent *dp;
	DIR *dirp;

	if ((dirp = opendir(dirpath)) == NULL)
		err(1, "opendir(%s)", dirpath);

	/* readdir returns NULL both at the end and on error; errno tells. */
	for (errno = 0; (dp = readdir(dirp)) != NULL; errno = 0) {
		if (isdotordotdot(dp->d_name))
			continue;
		joinname(entrypath, dirpath, dp->d_name, dirpath);
		/* lstat, so that a symbolic link is never taken for a folder. */
		if (lstat(entrypath, &sb) == -1)
			err(1, "stat(%s)", entrypath);
		if ((sb.st_mode & S_IFMT) != S_IFDIR)
			continue;
		if (strcmp(dp->d_name, "cur") == 0)
			putword(foldername);
		if (ismaildirsubdir(dp->d_name))
			continue;
		joinname(childname, foldername, dp->d_name, dirpath);
		walkfolders(entrypath, childname);
	}
	if (errno != 0)
		err(1, "readdir(%s)", dirpath);

	if (closedir(dirp) == -1)
		errx(1, "closedir");
}
